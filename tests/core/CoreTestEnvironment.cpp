// Every test of this executable runs against one QCoreApplication: core needs
// no window. Its texts are checked in Japanese, which the front ends choose
// when they start, so this program chooses it too.
#include "QtAppEnvironment.h"
#include "core/text/Language.h"

#include <QCoreApplication>

namespace {

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new dozo::test::QtAppEnvironment<QCoreApplication>(
        "core_tests", [] { dozo::useLanguage(dozo::Language::Japanese); }));

}  // namespace

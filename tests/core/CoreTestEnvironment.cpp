// Every test of this executable runs against one QCoreApplication: core needs
// no window. Its texts are checked in Japanese, which the front ends choose
// when they start, so this program chooses it too.
#include "core/text/Language.h"

#include <gtest/gtest.h>
#include <QCoreApplication>

namespace {

class CoreTestEnvironment : public testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "core_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QCoreApplication(argc, argv);
        dozo::useLanguage(dozo::Language::Japanese);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QCoreApplication* m_app = nullptr;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new CoreTestEnvironment);

}  // namespace

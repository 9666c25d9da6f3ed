// Every test of this executable runs against one QApplication, offscreen,
// with the font and the Qt translation the application itself loads.
#include "QtAppEnvironment.h"
#include "app/shell/ApplicationFont.h"
#include "app/shell/QtTranslation.h"
#include "core/text/Language.h"

#include <QApplication>

namespace {

[[maybe_unused]] testing::Environment* const environment = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return testing::AddGlobalTestEnvironment(
        new dozo::test::QtAppEnvironment<QApplication>("app_tests", [] {
            dozo::ApplicationFont::apply();
            dozo::QtTranslation::install();
            // As the window fixes it: panels built without one word in Japanese too.
            dozo::useLanguage(dozo::Language::Japanese);
        }));
}();

}  // namespace

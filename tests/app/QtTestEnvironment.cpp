// Every test of this executable runs against one QApplication, offscreen,
// with the font and the Qt translation the application itself loads.
#include "app/shell/ApplicationFont.h"
#include "app/shell/QtTranslation.h"
#include "core/text/Language.h"

#include <gtest/gtest.h>
#include <QApplication>

namespace {

class QtTestEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        dozo::ApplicationFont::apply();
        dozo::QtTranslation::install();
        // As the window fixes it: panels built without one word in Japanese too.
        dozo::useLanguage(dozo::Language::Japanese);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new QtTestEnvironment);

}  // namespace

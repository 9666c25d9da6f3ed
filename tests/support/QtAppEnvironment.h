#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

namespace dozo::test {

// One Qt application object of type App for every test of a program: made
// before the first test, then `ready` runs (fonts, translations, the
// language); deleted after the last. Qt keeps argc and argv, so they live here.
template <typename App>
class QtAppEnvironment : public testing::Environment {
public:
    QtAppEnvironment(std::string program, std::function<void()> ready)
        : m_program(std::move(program)), m_ready(std::move(ready)) {}

    void SetUp() override {
        m_argv[0] = m_program.data();
        m_app = new App(m_argc, m_argv);
        if (m_ready) m_ready();
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    std::string m_program;
    std::function<void()> m_ready;
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    App* m_app = nullptr;
};

}  // namespace dozo::test

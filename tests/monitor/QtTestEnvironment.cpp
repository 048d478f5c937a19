// One QApplication for the whole suite, on the offscreen platform at scale
// factor 1, made before the first test.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

namespace {

class QtEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("QT_SCALE_FACTOR", "1", 1);
        static int argc = 1;
        static char name[] = "test_monitor";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr)
            new QApplication(argc, argv);
    }
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

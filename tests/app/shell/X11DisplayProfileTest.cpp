// The display-profile hook where there is no X server to ask: the suite's
// application runs offscreen, as it would on Wayland, so the hook must
// answer nothing and leave the association store and the sRGB profile in
// charge. Reading the property itself is tested under Xvfb
// (tests/app/shell/x11/).

#include "app/shell/X11DisplayProfile.h"
#include "platform/ColorDirectory.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

namespace {

class X11DisplayProfileOffscreen : public testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(QGuiApplication::platformName(), "offscreen"); }
    void TearDown() override
    {
        platform::SetDisplayProfileHook(nullptr);
        SetX11DisplayProfileScreen(0);
    }

    testsupport::PrivateUserFolders m_user;
};

TEST_F(X11DisplayProfileOffscreen, WithoutAnXConnectionTheHookAnswersNothing)
{
    for (int screen : {0, 1, 3})
    {
        SetX11DisplayProfileScreen(screen);
        EXPECT_TRUE(ReadX11IccProfile(screen).isEmpty()) << "screen " << screen;
        EXPECT_EQ(X11DisplayProfilePath(std::string()), "") << "screen " << screen;
    }
}

TEST_F(X11DisplayProfileOffscreen, TheAssociationStoreAndTheSRGBFallbackStayInCharge)
{
    InstallX11DisplayProfileHook();
    EXPECT_EQ(platform::MonitorProfileName(), platform::kSRGBProfileFileName);
    ASSERT_TRUE(platform::AssociateDisplayProfile("", "Studio.icc"));
    EXPECT_EQ(platform::MonitorProfileName(), "Studio.icc");
}

} // namespace

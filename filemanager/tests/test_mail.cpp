// The mail hand-off: which command reaches the mail program, and what a
// registered fake mail program receives through xdg-email.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "filemanager/mail.h"
#include "testsupport/scratch_dir.h"

namespace murrel {
namespace {

namespace fs = std::filesystem;

auto none = [](const std::string&) { return false; };

TEST(MailCommand, ARegisteredMailProgramGetsEveryFileThroughXdgEmail) {
    EXPECT_EQ(mail_command({"/a/x.wav", "/a/y z.vkd"}, "mailer.desktop", false, none),
              (std::vector<std::string>{"xdg-email", "--attach", "/a/x.wav", "--attach", "/a/y z.vkd"}));
}

TEST(MailCommand, BehindAWebBrowserAnInstalledMailProgramsOwnComposeIsUsed) {
    auto thunder = [](const std::string& p) { return p == "thunderbird"; };
    EXPECT_EQ(mail_command({"/a/x.wav", "/a/y z.vkd"}, "web.desktop", true, thunder),
              (std::vector<std::string>{"thunderbird", "-compose",
                                        "attachment='file:///a/x.wav,file:///a/y%20z.vkd'"}));
    auto evo = [](const std::string& p) { return p == "evolution"; };
    EXPECT_EQ(mail_command({"/a/x.wav", "/b.vkd"}, "web.desktop", true, evo),
              (std::vector<std::string>{"evolution", "mailto:?attach=file:///a/x.wav&attach=file:///b.vkd"}));
    EXPECT_EQ(mail_command({"/a/x.wav"}, "web.desktop", true, none).front(), "xdg-email");
}

class MailHome : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* v : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "DISPLAY"}) saved_.emplace_back(v, qgetenv(v));
        qputenv("HOME", QByteArray::fromStdString(home.path().string()));
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
        // xdg-email runs the registered handler only inside a desktop session.
        qputenv("DISPLAY", ":99");
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    // A fake mail program that writes the link it was given.
    void register_fake_mailer() {
        const fs::path apps = home.path() / ".local/share/applications";
        fs::create_directories(apps);
        fs::create_directories(home.path() / ".config");
        const std::string script = home.file("fakemail.sh");
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << received << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        std::ofstream(apps / "fakemail.desktop") << "[Desktop Entry]\nType=Application\nName=Fake mail\nExec=" << script
                                                 << " %u\nMimeType=x-scheme-handler/mailto;\nCategories=Office;Email;\n";
        std::ofstream(home.path() / ".config/mimeapps.list")
            << "[Default Applications]\nx-scheme-handler/mailto=fakemail.desktop\n";
    }
    testsupport::ScratchDir home;
    std::string received = home.file("received.txt");

private:
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST_F(MailHome, WithNoMailProgramRegisteredSendingSaysMapiIsNotAvailable) {
    TEmail mail;
    EXPECT_FALSE(mail.MapiAvail());
    mail.Attachment = {home.file("x")};
    try {
        mail.SendMail();
        FAIL() << "no exception";
    } catch (const EMapiUnavailable& e) {
        EXPECT_STREQ(e.what(), "MAPI services are not available on this system");
    }
}

TEST_F(MailHome, ARegisteredMailProgramReceivesEveryAttachment) {
    register_fake_mailer();
    std::ofstream(home.file("a.wav")) << "a";
    std::ofstream(home.file("b.vkd")) << "b";
    TEmail mail;
    ASSERT_TRUE(mail.MapiAvail());
    mail.Attachment = {home.file("a.wav"), home.file("b.vkd")};
    EXPECT_EQ(mail.SendMail(), 0);
    std::stringstream got;
    for (int i = 0; i < 100 && !fs::exists(received); ++i) usleep(50000);
    got << std::ifstream(received).rdbuf();
    EXPECT_NE(got.str().find("attach=" + home.file("a.wav")), std::string::npos) << got.str();
    EXPECT_NE(got.str().find("attach=" + home.file("b.vkd")), std::string::npos) << got.str();
    mail.Attachment = {home.file("missing.wav")};
    EXPECT_EQ(mail.SendMail(), MAPI_E_ATTACHMENT_NOT_FOUND);
}

}  // namespace
}  // namespace murrel

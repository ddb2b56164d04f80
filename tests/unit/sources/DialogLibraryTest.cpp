#include "sources/DialogLibrary.h"

#include "TestLibraryFixture.h"

#include <filesystem>

using ostero::sources::kDialogLibraryFailed;
using ostero::sources::TDialogLibrary;
using ostero::support::TMessageSink;
using ostero::support::TUserMessage;

namespace {

struct TRecordingSink : TMessageSink {
    void ShowError(const TUserMessage& message) override { Errors.push_back(message.Text()); }
    void ShowInformation(const TUserMessage& message) override { Infos.push_back(message.Text()); }
    std::vector<std::string> Errors, Infos;
};

class DialogLibraryTest : public TestLibraryFixture {
protected:
    // A program folder "Ostero" whose "Shared" sibling holds the library of `variant`.
    std::string ProgramBesideShared(const std::string& variant) {
        const auto root = Temp_ / "install";
        std::filesystem::create_directories(root / "Ostero");
        std::filesystem::create_directories(root / "Shared");
        std::filesystem::copy_file(LibDir_ / variant / "Shared" / "tDialogs.so",
                                   root / "Shared" / "tDialogs.so");
        return (root / "Ostero").string() + "/";
    }
    TRecordingSink Sink_;
};

TEST_F(DialogLibraryTest, CallsReachTheLibraryWithTheirArguments) {
    const std::string folder = ProgramBesideShared("full");
    TDialogLibrary dialogs(Sink_, nullptr, folder);
    EXPECT_EQ(dialogs.ShowSharedMemConfigDialog("", 5000), 0);
    EXPECT_EQ(dialogs.ShowRegConfigDialog("REMOTE"), 0);
    EXPECT_EQ(dialogs.ShowIpConfigDialog("10.0.0.7", "pw", 2027, 5000), 0);
    EXPECT_EQ(dialogs.ShowOptionsDialog(3, 1), 1);
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "ShowSharedMemConfigDialog|no-owner||5000",
                           "ShowRegConfigDialog|no-owner|REMOTE",
                           "ShowIpConfigDialog|no-owner|10.0.0.7|pw|2027|5000",
                           "ShowOptionsDialog|no-owner|3|1",
                       }));
    EXPECT_TRUE(Sink_.Errors.empty());
}

TEST_F(DialogLibraryTest, PasswordDialogReturnsTheEnteredTexts) {
    TDialogLibrary dialogs(Sink_, this, ProgramBesideShared("full"));
    std::string user = "admin";
    std::string password = "old";
    EXPECT_EQ(dialogs.ShowPasswordDialog("Password is invalid...", &user, password), 1);
    EXPECT_EQ(user, "operator");
    EXPECT_EQ(password, "old!");

    // Without a user name buffer only the password is asked for.
    std::string agentPassword = "a";
    EXPECT_EQ(dialogs.ShowPasswordDialog("", nullptr, agentPassword), 1);
    EXPECT_EQ(agentPassword, "a!");
    EXPECT_EQ(Calls(), (std::vector<std::string>{
                           "ShowPasswordDialog|owner|Password is invalid...|admin|old",
                           "ShowPasswordDialog|owner||(null)|a",
                       }));
}

TEST_F(DialogLibraryTest, UnterminatedPasswordIsCutAtTheBuffer) {
    ::setenv("OSTERO_TESTLIB_MODE", "overflow", 1);
    TDialogLibrary dialogs(Sink_, nullptr, ProgramBesideShared("full"));
    std::string password(300, 'p'); // longer than the buffer: the library sees 255 characters
    EXPECT_EQ(dialogs.ShowPasswordDialog("", nullptr, password), 1);
    EXPECT_EQ(password, std::string(255, 'x'));
}

TEST_F(DialogLibraryTest, OwnSharedSubfolderWinsOverTheSibling) {
    // Program folder with its own "Shared" subfolder holding the partial library, and a
    // sibling "Shared" with the full one: the subfolder is used.
    const std::string folder = ProgramBesideShared("full");
    std::filesystem::create_directories(folder + "Shared");
    std::filesystem::copy_file(LibDir_ / "partial" / "Shared" / "tDialogs.so",
                               folder + "Shared/TDIALOGS.SO");
    TDialogLibrary dialogs(Sink_, nullptr, folder);
    EXPECT_EQ(dialogs.ShowOptionsDialog(0, 0), kDialogLibraryFailed);
    ASSERT_EQ(Sink_.Errors.size(), 1u);
    EXPECT_EQ(Sink_.Errors[0],
              "Cannot get Entrypoint for function 'ShowOptionsDialog' in library 'tDialogs.so'");
}

TEST_F(DialogLibraryTest, MissingLibraryIsReportedAndAnswersMinusTwo) {
    const auto folder = Temp_ / "empty" / "Ostero";
    std::filesystem::create_directories(folder);
    TDialogLibrary dialogs(Sink_, nullptr, folder.string() + "/");
    EXPECT_EQ(dialogs.ShowRegConfigDialog("X"), kDialogLibraryFailed);
    EXPECT_EQ(Sink_.Errors, std::vector<std::string>{"Cannot load library 'tDialogs.so'"});
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DialogLibraryTest, PresenceTestLooksInSharedFoldersThenPath) {
    const auto bare = Temp_ / "bare" / "Ostero";
    std::filesystem::create_directories(bare);
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    EXPECT_TRUE(TDialogLibrary::Present(ProgramBesideShared("full")));

    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(TDialogLibrary::Present(bare.string() + "/"));
    const std::string onPath = (LibDir_ / "full" / "Shared").string();
    ::setenv("PATH", ("/nonexistent:" + onPath).c_str(), 1);
    EXPECT_TRUE(TDialogLibrary::Present(bare.string() + "/"));
    // Found on PATH, it is also loaded from there: the dialog comes up.
    TDialogLibrary dialogs(Sink_, nullptr, bare.string() + "/");
    EXPECT_NE(dialogs.ShowRegConfigDialog("X"), kDialogLibraryFailed);
    EXPECT_TRUE(Sink_.Errors.empty());
    ::setenv("PATH", saved.c_str(), 1);
}

} // namespace

#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVSecretStore.h"
#include "HVTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <sstream>

// These run inside scripts/with-secret-store, which gives the program a throwaway keyring.

namespace {

std::string lookup(const HVSecretStoreKey& key) {
    HVError error;
    auto found = HVSecretStore::sharedInstance().password(key, &error);
    if (found)
        return *found;
    return error.description().empty() ? "(none)" : "(error) " + error.fullDescription();
}

// The files below the folders whose bytes contain text.
int filesContaining(const std::vector<std::string>& folders, const std::string& text) {
    int count = 0;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (folder.empty() || !std::filesystem::exists(folder, error))
            continue;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (error)
                break;
            if (!it->is_regular_file(error))
                continue;
            auto bytes = HVFileSystem::readFile(it->path().string());
            if (bytes && bytes->find(text) != std::string::npos)
                ++count;
        }
    }
    return count;
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

const char* const unreachablePassword = "marker-5c1d-never-written";

// The "name: value" lines that a child test printed.
std::map<std::string, std::string> reportOf(const std::string& output) {
    std::map<std::string, std::string> report;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        auto colon = line.find(": ");
        if (colon != std::string::npos)
            report[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return report;
}

// Locks every keyring of the session, as the desktop does when the screen locks.
bool lockAllKeyrings() {
    GError* failure = nullptr;
    SecretService* service =
        secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, &failure);
    if (!service) {
        g_clear_error(&failure);
        return false;
    }
    GList* collections = secret_service_get_collections(service);
    int locked = secret_service_lock_sync(service, collections, nullptr, nullptr, &failure);
    g_clear_error(&failure);
    g_list_free_full(collections, g_object_unref);
    g_object_unref(service);
    return locked > 0;
}

} // namespace

TEST(HVSecretStore, FindsAStoredPasswordAndReplacesIt) {
    HVSecretStoreKey key{"stored.example", "ann", HVRemoteProtocol::SFTP, 2222};
    HVError error;
    EXPECT_TRUE(HVSecretStore::sharedInstance().setPassword(key, "first p\xc3\xa4ss", &error))
        << error.fullDescription();
    EXPECT_EQ(lookup(key), "first p\xc3\xa4ss");
    EXPECT_TRUE(HVSecretStore::sharedInstance().setPassword(key, "second", &error))
        << error.fullDescription();
    EXPECT_EQ(lookup(key), "second");
    // Another port is another server.
    EXPECT_EQ(lookup({"stored.example", "ann", HVRemoteProtocol::SFTP, 22}), "(none)");
    EXPECT_TRUE(HVSecretStore::sharedInstance().removePassword(key, &error));
}

TEST(HVSecretStore, RemovesAPasswordAndReportsNothingStoredWithoutAnError) {
    HVSecretStoreKey key{"removed.example", "bo", HVRemoteProtocol::WebDAV, 443};
    HVError error;
    EXPECT_EQ(lookup(key), "(none)");
    EXPECT_TRUE(HVSecretStore::sharedInstance().setPassword(key, "gone soon", &error))
        << error.fullDescription();
    EXPECT_EQ(lookup(key), "gone soon");
    EXPECT_TRUE(HVSecretStore::sharedInstance().removePassword(key, &error))
        << error.fullDescription();
    EXPECT_EQ(lookup(key), "(none)");
    EXPECT_TRUE(HVSecretStore::sharedInstance().removePassword(key, &error));
}

TEST(HVSecretStore, KeepsFTPAndSFTPPasswordsForTheSameServerApart) {
    HVSecretStoreKey ftp{"both.example", "cy", HVRemoteProtocol::FTP, 21};
    HVSecretStoreKey sftp{"both.example", "cy", HVRemoteProtocol::SFTP, 21};
    EXPECT_TRUE(HVSecretStore::sharedInstance().setPassword(ftp, "for ftp"));
    EXPECT_TRUE(HVSecretStore::sharedInstance().setPassword(sftp, "for sftp"));
    EXPECT_EQ(lookup(ftp), "for ftp");
    EXPECT_EQ(lookup(sftp), "for sftp");
    EXPECT_TRUE(HVSecretStore::sharedInstance().removePassword(ftp));
    EXPECT_EQ(lookup(ftp), "(none)");
    EXPECT_EQ(lookup(sftp), "for sftp");
    EXPECT_TRUE(HVSecretStore::sharedInstance().removePassword(sftp));
}

// Run by the next test in a child without a D-Bus session; prints what the store answered.
TEST(HVSecretStoreWithoutSession, DISABLED_Report) {
    HVSecretStoreKey key{"nostore.example", "di", HVRemoteProtocol::FTP, 21};
    HVError storeError;
    bool stored =
        HVSecretStore::sharedInstance().setPassword(key, unreachablePassword, &storeError);
    HVError lookupError;
    auto found = HVSecretStore::sharedInstance().password(key, &lookupError);
    std::cout << "stored: " << stored << "\n"
              << "store error: " << storeError.fullDescription() << "\n"
              << "found: " << found.value_or("(none)") << "\n"
              << "lookup error: " << lookupError.description() << "\n"
              << "suggestion: " << lookupError.recoverySuggestion() << "\n"
              << "files with the password: "
              << filesContaining({environmentValue("HOME"), environmentValue("XDG_DATA_HOME"),
                                  environmentValue("XDG_CONFIG_HOME")},
                                 unreachablePassword)
              << "\n";
}

TEST(HVSecretStore, ReportsAMissingStoreClearlyAndWritesThePasswordNowhere) {
    HVTemporaryDirectory folder;
    std::string runtime = folder.pathFor("runtime");
    std::string cache = folder.pathFor("cache");
    folder.write("runtime/.keep", "");
    folder.write("cache/.keep", "");
    std::vector<std::string> environment = {
        "PATH=" + environmentValue("PATH"),
        "HOME=" + folder.pathFor("home"),
        "XDG_RUNTIME_DIR=" + runtime,
        "XDG_CACHE_HOME=" + cache,
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder.pathFor("no-bus"),
        "ASAN_OPTIONS=" + environmentValue("ASAN_OPTIONS"),
        "LSAN_OPTIONS=" + environmentValue("LSAN_OPTIONS"),
    };
    HVChildProcess::Options options;
    options.arguments = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                         "--gtest_filter=HVSecretStoreWithoutSession.DISABLED_Report"};
    options.environment = environment;
    options.timeLimit = 30.0;
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0) << result->standardError;
    auto report = reportOf(result->standardOutput);
    EXPECT_EQ(report["stored"], "0");
    EXPECT_EQ(report["found"], "(none)");
    EXPECT_EQ(report["lookup error"], "Cannot Use the Password Store");
    std::string expectedStart = "The password store is not running or cannot be reached.";
    EXPECT_EQ(report["suggestion"].substr(0, expectedStart.size()), expectedStart)
        << report["suggestion"];
    EXPECT_NE(report["suggestion"].find("(Could not connect"), std::string::npos)
        << report["suggestion"];
    EXPECT_EQ(report["store error"].substr(0, 36), "Cannot Use the Password Store (com.t");
    EXPECT_EQ(report["files with the password"], "0");
    EXPECT_EQ(filesContaining({folder.path()}, unreachablePassword), 0);
}

// Run by the next test in a session of its own, whose keyring it locks.
TEST(HVSecretStoreLocked, DISABLED_Report) {
    HVSecretStoreKey key{"locked.example", "ed", HVRemoteProtocol::SFTP, 22};
    bool stored = HVSecretStore::sharedInstance().setPassword(key, "kept");
    bool locked = lockAllKeyrings();
    HVError lookupError;
    auto found = HVSecretStore::sharedInstance().password(key, &lookupError);
    HVError storeError;
    bool storedAgain = HVSecretStore::sharedInstance().setPassword(key, "new", &storeError);
    HVError otherError;
    auto other = HVSecretStore::sharedInstance().password(
        {"never.example", "ed", HVRemoteProtocol::SFTP, 22}, &otherError);
    std::cout << "stored: " << stored << "\n"
              << "locked: " << locked << "\n"
              << "found: " << found.value_or("(none)") << "\n"
              << "lookup error: " << lookupError.description() << "\n"
              << "suggestion: " << lookupError.recoverySuggestion() << "\n"
              << "stored again: " << storedAgain << "\n"
              << "store suggestion: " << storeError.recoverySuggestion() << "\n"
              << "other: " << other.value_or("(none)") << " " << otherError.description() << "\n";
}

TEST(HVSecretStore, ReportsALockedStoreInsteadOfNothingStored) {
    HVChildProcess::Options options;
    options.arguments = {HALVET_WITH_SECRET_STORE, std::filesystem::read_symlink("/proc/self/exe"),
                         "--gtest_also_run_disabled_tests",
                         "--gtest_filter=HVSecretStoreLocked.DISABLED_Report"};
    options.timeLimit = 30.0;
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0) << result->standardError;
    auto report = reportOf(result->standardOutput);
    EXPECT_EQ(report["stored"], "1");
    EXPECT_EQ(report["locked"], "1");
    EXPECT_EQ(report["found"], "(none)");
    EXPECT_EQ(report["lookup error"], "Cannot Use the Password Store");
    std::string expectedStart = "The password store is locked.";
    EXPECT_EQ(report["suggestion"].substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(report["stored again"], "0");
    EXPECT_EQ(report["store suggestion"].substr(0, expectedStart.size()), expectedStart)
        << report["store suggestion"];
    // Nothing under another key is still nothing, not an error.
    EXPECT_EQ(report["other"], "(none) ");
}

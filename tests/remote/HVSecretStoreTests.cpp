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

// Runs one disabled report test in a child; its report, or nothing when it could not run.
std::map<std::string, std::string> childReport(std::vector<std::string> arguments,
                                               std::vector<std::string> environment = {}) {
    HVChildProcess::Options options;
    options.arguments = std::move(arguments);
    options.arguments.push_back("--gtest_also_run_disabled_tests");
    options.environment = std::move(environment);
    options.timeLimit = 30.0;
    auto result = HVChildProcess::run(options);
    if (!result || result->exitStatus != 0) {
        ADD_FAILURE() << (result ? result->standardError : "cannot run the child");
        return {};
    }
    return reportOf(result->standardOutput);
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

TEST(HVSecretStore, FindsReplacesAndRemovesPasswordsKeepingEachServerApart) {
    auto& store = HVSecretStore::sharedInstance();
    HVSecretStoreKey key{"stored.example", "ann", HVRemoteProtocol::SFTP, 2222};
    HVError error;
    EXPECT_EQ(lookup(key), "(none)");
    EXPECT_TRUE(store.setPassword(key, "first p\xc3\xa4ss", &error)) << error.fullDescription();
    EXPECT_EQ(lookup(key), "first p\xc3\xa4ss");
    EXPECT_TRUE(store.setPassword(key, "second", &error)) << error.fullDescription();
    EXPECT_EQ(lookup(key), "second");
    // Another port, or another protocol on the same port, is another server.
    HVSecretStoreKey ftp{"stored.example", "ann", HVRemoteProtocol::FTP, 2222};
    EXPECT_EQ(lookup({"stored.example", "ann", HVRemoteProtocol::SFTP, 22}), "(none)");
    EXPECT_TRUE(store.setPassword(ftp, "for ftp"));
    EXPECT_EQ(lookup(ftp), "for ftp");
    EXPECT_EQ(lookup(key), "second");
    EXPECT_TRUE(store.removePassword(key, &error)) << error.fullDescription();
    EXPECT_EQ(lookup(key), "(none)");
    EXPECT_EQ(lookup(ftp), "for ftp");
    // Removing what is not there is no error.
    EXPECT_TRUE(store.removePassword(key, &error));
    EXPECT_TRUE(store.removePassword(ftp));
    EXPECT_EQ(lookup(ftp), "(none)");
}

// Run by the tests below in a child, without a password store or with one that this locks;
// prints what the store answered.
TEST(HVSecretStoreChild, DISABLED_Report) {
    auto& store = HVSecretStore::sharedInstance();
    HVSecretStoreKey key{"child.example", "di", HVRemoteProtocol::SFTP, 22};
    HVError storeError, lookupError, againError, otherError;
    bool stored = store.setPassword(key, unreachablePassword, &storeError);
    bool locked = lockAllKeyrings();
    auto found = store.password(key, &lookupError);
    bool storedAgain = store.setPassword(key, "new", &againError);
    auto other = store.password({"never.example", "di", HVRemoteProtocol::SFTP, 22}, &otherError);
    std::cout << "stored: " << stored << "\n"
              << "store error: " << storeError.fullDescription() << "\n"
              << "locked: " << locked << "\n"
              << "found: " << found.value_or("(none)") << "\n"
              << "lookup error: " << lookupError.description() << "\n"
              << "suggestion: " << lookupError.recoverySuggestion() << "\n"
              << "stored again: " << storedAgain << "\n"
              << "store suggestion: " << againError.recoverySuggestion() << "\n"
              << "other: " << other.value_or("(none)") << " " << otherError.description() << "\n"
              << "files with the password: "
              << filesContaining({environmentValue("HOME"), environmentValue("XDG_DATA_HOME"),
                                  environmentValue("XDG_CONFIG_HOME")},
                                 unreachablePassword)
              << "\n";
}

TEST(HVSecretStore, ReportsAMissingStoreClearlyAndWritesThePasswordNowhere) {
    HVTemporaryDirectory folder;
    folder.write("runtime/.keep", "");
    folder.write("cache/.keep", "");
    auto report =
        childReport({"/proc/self/exe", "--gtest_filter=HVSecretStoreChild.DISABLED_Report"},
                    {"PATH=" + environmentValue("PATH"), "HOME=" + folder.pathFor("home"),
                     "XDG_RUNTIME_DIR=" + folder.pathFor("runtime"),
                     "XDG_CACHE_HOME=" + folder.pathFor("cache"),
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder.pathFor("no-bus"),
                     "ASAN_OPTIONS=" + environmentValue("ASAN_OPTIONS"),
                     "LSAN_OPTIONS=" + environmentValue("LSAN_OPTIONS")});
    EXPECT_EQ(report["stored"], "0");
    EXPECT_EQ(report["found"], "(none)");
    EXPECT_EQ(report["lookup error"], "Cannot Use the Password Store");
    EXPECT_TRUE(
        report["suggestion"].starts_with("The password store is not running or cannot be reached."))
        << report["suggestion"];
    EXPECT_NE(report["suggestion"].find("(Could not connect"), std::string::npos)
        << report["suggestion"];
    EXPECT_TRUE(report["store error"].starts_with("Cannot Use the Password Store (com.t"))
        << report["store error"];
    EXPECT_EQ(report["files with the password"], "0");
    EXPECT_EQ(filesContaining({folder.path()}, unreachablePassword), 0);
}

TEST(HVSecretStore, ReportsALockedStoreInsteadOfNothingStored) {
    auto report =
        childReport({HALVET_WITH_SECRET_STORE, std::filesystem::read_symlink("/proc/self/exe"),
                     "--gtest_filter=HVSecretStoreChild.DISABLED_Report"});
    EXPECT_EQ(report["stored"], "1");
    EXPECT_EQ(report["locked"], "1");
    EXPECT_EQ(report["found"], "(none)");
    EXPECT_EQ(report["lookup error"], "Cannot Use the Password Store");
    EXPECT_TRUE(report["suggestion"].starts_with("The password store is locked."))
        << report["suggestion"];
    EXPECT_EQ(report["stored again"], "0");
    EXPECT_TRUE(report["store suggestion"].starts_with("The password store is locked."))
        << report["store suggestion"];
    // Nothing under another key is still nothing, not an error.
    EXPECT_EQ(report["other"], "(none) ");
}

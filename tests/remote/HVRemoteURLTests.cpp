#include "HVRemoteURL.h"

#include <gtest/gtest.h>

TEST(HVRemoteURL, ReadsEveryProtocolWithUserPortAndEncodedPath) {
    struct Case {
        const char* text;
        HVRemoteProtocol protocol;
        const char* scheme;
        const char* user;
        const char* host;
        int port;
        const char* path;
    };
    const Case cases[] = {
        {"sftp://ann@127.0.0.1:2222/dir/file", HVRemoteProtocol::SFTP, "sftp", "ann", "127.0.0.1",
         2222, "/dir/file"},
        {"ftp://example.org", HVRemoteProtocol::FTP, "ftp", "", "example.org", 0, "/"},
        {"webdav://u%40x@h:8080/dav/a%20b%22c", HVRemoteProtocol::WebDAV, "http", "u@x", "h", 8080,
         "/dav/a b\"c"},
        {"davs://h/dav/caf%C3%A9", HVRemoteProtocol::WebDAV, "https", "", "h", 0,
         "/dav/caf\xc3\xa9"},
        {"sftp://[::1]:22/-x", HVRemoteProtocol::SFTP, "sftp", "", "::1", 22, "/-x"},
    };
    for (const Case& c : cases) {
        HVError error;
        const auto url = HVRemoteURL::parse(c.text, &error);
        ASSERT_TRUE(url) << c.text << ": " << error.recoverySuggestion();
        EXPECT_EQ(url->protocol, c.protocol) << c.text;
        EXPECT_EQ(url->scheme, c.scheme) << c.text;
        EXPECT_EQ(url->user, c.user) << c.text;
        EXPECT_EQ(url->host, c.host) << c.text;
        EXPECT_EQ(url->port, c.port) << c.text;
        EXPECT_EQ(url->path, c.path) << c.text;
        EXPECT_EQ(HVRemoteURL::parse(url->string())->path, url->path) << url->string();
    }
}

TEST(HVRemoteURL, RefusesMalformedAddressesAndPasswords) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1/x", "no scheme"},
        {"gopher://h/x", "not ftp, sftp"},
        {"sftp://ann:secret@h/x", "password does not belong"},
        {"sftp://h:99999/x", "port"},
        {"sftp://h:/x", "port"},
        {"sftp:///x", "no host"},
        {"sftp://h/%zz", "malformed"},
        {"sftp://h/%4", "malformed"},
    };
    for (const auto& [text, reason] : cases) {
        HVError error;
        EXPECT_FALSE(HVRemoteURL::parse(text, &error)) << text;
        EXPECT_NE(error.recoverySuggestion().find(reason), std::string::npos)
            << text << ": " << error.recoverySuggestion();
    }
}

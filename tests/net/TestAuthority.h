#pragma once

#include <filesystem>
#include <memory>
#include <string>

// A certificate authority made when the test runs, and server certificates it (or nobody)
// signs, written as PEM files into a folder of the test's own.
class TestAuthority {
public:
    struct Leaf {
        std::filesystem::path certificate; // the leaf, then the authority
        std::filesystem::path key;
        // curl's pin of the leaf's public key: "sha256//<base64>".
        std::string pin;
    };
    struct LeafOptions {
        std::string ipAddress;   // subjectAltName IP entry, or empty
        std::string dnsName;     // subjectAltName DNS entry, or empty
        bool expired = false;    // valid for a day that has passed
        bool selfSigned = false; // signed by its own key, not the authority
    };

    explicit TestAuthority(std::filesystem::path folder);
    ~TestAuthority();
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    // The authority's own certificate, for the client to trust.
    const std::filesystem::path& certificate() const { return certificate_; }
    Leaf issue(const std::string& name, const LeafOptions& options);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::filesystem::path folder_;
    std::filesystem::path certificate_;
};

#include "TestAuthority.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

Key NewKey() {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    if (!key) {
        throw std::runtime_error("cannot make a key");
    }
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (ext == nullptr) {
        throw std::runtime_error("bad extension " + value);
    }
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// A certificate for `name` and `key`, issued by issuer (itself when null) and signed by signer.
Certificate Make(const std::string& name, EVP_PKEY* key, X509* issuer, EVP_PKEY* signer,
                 long serial, bool authority, bool expired, const std::string& altNames = {}) {
    Certificate cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    const long day = 24 * 60 * 60;
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), expired ? -3 * day : -day);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), expired ? -2 * day : 30 * day);
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : subject);
    X509_set_pubkey(cert.get(), key);
    X509* issuing = issuer ? issuer : cert.get();
    AddExtension(cert.get(), issuing, NID_basic_constraints,
                 authority ? "critical,CA:TRUE" : "CA:FALSE");
    AddExtension(cert.get(), issuing, NID_key_usage,
                 authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    AddExtension(cert.get(), issuing, NID_subject_key_identifier, "hash");
    if (!altNames.empty()) {
        AddExtension(cert.get(), issuing, NID_subject_alt_name, altNames);
    }
    if (!X509_sign(cert.get(), signer, EVP_sha256())) {
        throw std::runtime_error("cannot sign " + name);
    }
    return cert;
}

std::unique_ptr<FILE, decltype(&std::fclose)> Open(const std::filesystem::path& path) {
    std::unique_ptr<FILE, decltype(&std::fclose)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f) {
        throw std::runtime_error("cannot write " + path.string());
    }
    return f;
}

std::string Pin(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    unsigned char digest[32];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    std::vector<unsigned char> base64(4 * ((digestLength + 2) / 3) + 1);
    EVP_EncodeBlock(base64.data(), digest, static_cast<int>(digestLength));
    return "sha256//" + std::string(reinterpret_cast<char*>(base64.data()));
}

} // namespace

struct TestAuthority::Impl {
    Key key{nullptr, EVP_PKEY_free};
    Certificate certificate{nullptr, X509_free};
    long serial = 1;
};

TestAuthority::TestAuthority(std::filesystem::path folder)
    : impl_(std::make_unique<Impl>()), folder_(std::move(folder)) {
    std::filesystem::create_directories(folder_);
    impl_->key = NewKey();
    impl_->certificate = Make("Kestrel Test Authority", impl_->key.get(), nullptr, impl_->key.get(),
                              impl_->serial++, true, false);
    certificate_ = folder_ / "authority.pem";
    PEM_write_X509(Open(certificate_).get(), impl_->certificate.get());
}

TestAuthority::~TestAuthority() = default;

TestAuthority::Leaf TestAuthority::issue(const std::string& name, const LeafOptions& options) {
    Key key = NewKey();
    X509* issuer = options.selfSigned ? nullptr : impl_->certificate.get();
    EVP_PKEY* signer = options.selfSigned ? key.get() : impl_->key.get();
    std::string alt;
    if (!options.ipAddress.empty()) {
        alt = "IP:" + options.ipAddress;
    }
    if (!options.dnsName.empty()) {
        alt += (alt.empty() ? "DNS:" : ",DNS:") + options.dnsName;
    }
    const Certificate cert =
        Make(name, key.get(), issuer, signer, impl_->serial++, false, options.expired, alt);
    Leaf leaf;
    leaf.certificate = folder_ / (name + ".pem");
    leaf.key = folder_ / (name + ".key");
    {
        auto f = Open(leaf.certificate);
        PEM_write_X509(f.get(), cert.get());
        if (!options.selfSigned) {
            PEM_write_X509(f.get(), impl_->certificate.get());
        }
    }
    PEM_write_PrivateKey(Open(leaf.key).get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    leaf.pin = Pin(key.get());
    return leaf;
}

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace tolvi {

// SHA-256 through OpenSSL's libcrypto; digests are written as 64 lowercase hexadecimal digits.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(QByteArrayView bytes);
    // Ends the digest; the object cannot be used afterwards.
    QString finishHex();

    static QString hexDigest(QByteArrayView bytes);

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

} // namespace tolvi

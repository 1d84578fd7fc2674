#include "TolviCore/model/Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace tolvi {

namespace {

QString toHex(const unsigned char* digest, unsigned int length)
{
    static const char digits[] = "0123456789abcdef";
    QString hex(static_cast<qsizetype>(length) * 2, Qt::Uninitialized);
    QChar* out = hex.data();
    for (unsigned int i = 0; i < length; ++i) {
        out[2 * i] = QLatin1Char(digits[digest[i] >> 4]);
        out[2 * i + 1] = QLatin1Char(digits[digest[i] & 0x0f]);
    }
    return hex;
}

} // namespace

struct Sha256::Context {
    EVP_MD_CTX* ctx = nullptr;
};

Sha256::Sha256() : context_(std::make_unique<Context>())
{
    context_->ctx = EVP_MD_CTX_new();
    if (!context_->ctx || EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is unavailable");
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(context_->ctx);
}

void Sha256::add(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        EVP_DigestUpdate(context_->ctx, bytes.data(), static_cast<size_t>(bytes.size()));
}

QString Sha256::finishHex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->ctx, digest, &length);
    return toHex(digest, length);
}

QString Sha256::hexDigest(QByteArrayView bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), static_cast<size_t>(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    return toHex(digest, length);
}

} // namespace tolvi

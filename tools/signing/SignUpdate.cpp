// Release signing: makes an ed25519 key pair for the update feed and signs archives with it.
// The secret key stays with whoever publishes releases, never in the repository.

#include <sodium.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

int usage()
{
    std::fputs("usage: sign-update generate-key SECRET-KEY-FILE\n"
               "       sign-update sign SECRET-KEY-FILE ARCHIVE\n"
               "generate-key writes a new secret key (mode 0600, never over an existing file)\n"
               "and prints the public key for -DTOLVANE_UPDATE_KEY=. sign prints the enclosure\n"
               "attributes edSignature and length of ARCHIVE for the update feed.\n",
               stderr);
    return 2;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "sign-update: %s\n", message.c_str());
    return 1;
}

std::string toBase64(const unsigned char* bytes, size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // the terminating zero
    return text;
}

bool readFile(const char* path, std::vector<unsigned char>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

int generateKey(const char* path)
{
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secretKey);
    const std::string secret = toBase64(secretKey, sizeof secretKey) + "\n";
    sodium_memzero(secretKey, sizeof secretKey);

    // Created exclusively and private from the first byte.
    const mode_t old = umask(077);
    FILE* file = std::fopen(path, "wx");
    umask(old);
    if (!file)
        return fail(std::string("cannot create ") + path + " (does it exist already?)");
    const bool written = std::fwrite(secret.data(), 1, secret.size(), file) == secret.size();
    if (std::fclose(file) != 0 || !written)
        return fail(std::string("cannot write ") + path);
    std::printf("%s\n", toBase64(publicKey, sizeof publicKey).c_str());
    return 0;
}

int sign(const char* keyPath, const char* archivePath)
{
    std::vector<unsigned char> keyText;
    if (!readFile(keyPath, keyText))
        return fail(std::string("cannot read ") + keyPath);
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    size_t decoded = 0;
    const bool valid =
        sodium_base642bin(secretKey, sizeof secretKey,
                          reinterpret_cast<const char*>(keyText.data()), keyText.size(), " \r\n",
                          &decoded, nullptr, sodium_base64_VARIANT_ORIGINAL) == 0 &&
        decoded == sizeof secretKey;
    sodium_memzero(keyText.data(), keyText.size());
    if (!valid)
        return fail(std::string(keyPath) + " is not a secret key made by generate-key");

    std::vector<unsigned char> archive;
    if (!readFile(archivePath, archive) || archive.empty())
        return fail(std::string("cannot read ") + archivePath);
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, archive.data(), archive.size(), secretKey);
    sodium_memzero(secretKey, sizeof secretKey);
    std::printf("edSignature=\"%s\" length=\"%zu\"\n",
                toBase64(signature, sizeof signature).c_str(), archive.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (sodium_init() < 0)
        return fail("libsodium could not start");
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate-key" && argc == 3)
        return generateKey(argv[2]);
    if (command == "sign" && argc == 4)
        return sign(argv[2], argv[3]);
    return usage();
}

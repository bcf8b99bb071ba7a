// check_sums.exe SUMS: checks each file the list names ("<sha-256 in hex>  <path>" lines, paths
// relative to the list's folder) and prints launcher.exe's line, so that it can be compared with
// the release's SHA256SUMS. Exit status 0 when every file is there with its bytes, 1 when not, 2
// for a list it cannot read. The test kit's run-tests.cmd runs it before anything else: Windows
// has no SHA-256 tool that Windows 7 and Wine both carry.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

// Empty when the file cannot be read.
std::string sha256Of(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[32];
    DWORD size = sizeof digest;
    std::string hex;
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
            if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
                CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
                for (DWORD i = 0; i < size; ++i) {
                    char pair[3];
                    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
                    hex += pair;
                }
            }
            CryptDestroyHash(hash);
        }
        CryptReleaseContext(provider, 0);
    }
    return hex;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: check_sums SUMS\n");
        return 2;
    }
    const std::filesystem::path list = argv[1];
    const std::filesystem::path folder = list.parent_path();
    std::ifstream in(list);
    if (!in) {
        std::printf("%s: cannot be read\n", list.string().c_str());
        return 2;
    }
    int checked = 0, wrong = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream fields(line);
        std::string want, path;
        if (!(fields >> want >> path))
            continue;
        const std::string got = sha256Of(folder / std::filesystem::u8path(path));
        ++checked;
        if (got != want) {
            ++wrong;
            std::printf("%s: %s\n", path.c_str(), got.empty() ? "missing" : ("differs, SHA-256 " + got).c_str());
        } else if (path == "launcher.exe") {
            std::printf("launcher.exe: SHA-256 %s\n", got.c_str());
        }
    }
    if (checked == 0) {
        std::printf("%s lists no file\n", list.string().c_str());
        return 2;
    }
    std::printf("%d of %d files as the kit was built\n", checked - wrong, checked);
    return wrong ? 1 : 0;
}

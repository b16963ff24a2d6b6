// A stand-in for osslsigncode.exe in the Windows packer's tests (Wine cannot wait for the Linux
// one): started as `osslsigncode.exe sign -pkcs12 CERT -h sha256 [-readpass FILE] [-ts URL] -in IN
// -out OUT`, it prints its arguments, one a line, and "signs" IN as signing tools do: zeros up to
// 8-byte alignment, a certificate table at the end (a WIN_CERTIFICATE header and a few bytes) and
// the PE security directory pointing at it, written to OUT. A certificate file that says "fail"
// makes it fail as osslsigncode does on a file it cannot read.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadAll(const wchar_t* name, std::vector<unsigned char>& bytes) {
    FILE* f = _wfopen(name, L"rb");
    if (!f) return false;
    unsigned char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return true;
}

void PutU32(std::vector<unsigned char>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t GetU32(const std::vector<unsigned char>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t *certificate = nullptr, *in = nullptr, *out = nullptr;
    for (int i = 1; i < argc; ++i) {
        char line[1024];
        int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, line, sizeof line, nullptr, nullptr);
        printf("%s\n", n > 0 ? line : "?");
        if (i + 1 < argc && wcscmp(argv[i], L"-pkcs12") == 0) certificate = argv[i + 1];
        if (i + 1 < argc && wcscmp(argv[i], L"-in") == 0) in = argv[i + 1];
        if (i + 1 < argc && wcscmp(argv[i], L"-out") == 0) out = argv[i + 1];
    }
    std::vector<unsigned char> said, image;
    if (!certificate || !in || !out || !ReadAll(certificate, said) ||
        std::string(said.begin(), said.end()).rfind("fail", 0) == 0) {
        printf("Failed to read PKCS#12 file\n");
        return 1;
    }
    if (!ReadAll(in, image) || image.size() < 0x40) return 2;
    size_t header = GetU32(image, 0x3C);
    size_t securityEntry = header + 24 + 128;  // PE32: data directory 4 of the optional header
    if (securityEntry + 8 > image.size()) return 3;
    while (image.size() % 8 != 0) image.push_back(0);
    const char signature[] = "fake signature for tests";  // 24 bytes, no terminator
    uint32_t at = static_cast<uint32_t>(image.size()), size = 8 + 24;
    image.resize(image.size() + size);
    PutU32(image, at, size);
    image[at + 4] = 0x00;  // revision 2.0
    image[at + 5] = 0x02;
    image[at + 6] = 0x02;  // PKCS#7 signed data
    image[at + 7] = 0x00;
    memcpy(image.data() + at + 8, signature, 24);
    PutU32(image, securityEntry, at);
    PutU32(image, securityEntry + 4, size);
    FILE* f = _wfopen(out, L"wb");
    if (!f) return 4;
    bool ok = fwrite(image.data(), 1, image.size(), f) == image.size();
    return fclose(f) == 0 && ok ? 0 : 5;
}

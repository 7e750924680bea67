// The shipped program's file: a 32-bit GUI executable carrying the popup's
// dialog template, the icon group, the manifest and the version, read back
// from the built file as Windows sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring UpdaterPath()
{
    std::string unix = UPDATER_EXE;
    std::wstring path = L"Z:" + std::wstring(unix.begin(), unix.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

class UpdaterResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(UpdaterPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    std::vector<BYTE> Resource(LPCWSTR type, LPCWSTR name, WORD language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))
    {
        HRSRC found = FindResourceExW(module, type, name, language);
        if (!found)
            return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        return std::vector<BYTE>(data, data + SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

// Reads the little-endian fields of a resource in order.
struct Reader {
    const std::vector<BYTE>& d;
    size_t at = 0;
    WORD Word()
    {
        WORD v;
        std::memcpy(&v, &d.at(at + 1) - 1, 2);
        at += 2;
        return v;
    }
    DWORD Dword()
    {
        DWORD v;
        std::memcpy(&v, &d.at(at + 3) - 3, 4);
        at += 4;
        return v;
    }
    BYTE Byte() { return d.at(at++); }
    std::wstring String()
    {
        std::wstring s;
        for (WORD c = Word(); c; c = Word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }
};

TEST_F(UpdaterResources, PopupTemplate)
{
    const std::vector<BYTE> t = Resource(RT_DIALOG, MAKEINTRESOURCEW(102));
    ASSERT_FALSE(t.empty()) << "dialog 102, language 1033";
    Reader r{t};
    EXPECT_EQ(r.Word(), 1);        // DLGTEMPLATEEX version
    EXPECT_EQ(r.Word(), 0xFFFF);   // signature
    EXPECT_EQ(r.Dword(), 0u);      // help id
    EXPECT_EQ(r.Dword(), 0x00040008u);  // WS_EX_APPWINDOW | WS_EX_TOPMOST
    EXPECT_EQ(r.Dword(), 0x90800040u);  // WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFONT
    EXPECT_EQ(r.Word(), 1);        // one control
    EXPECT_EQ(r.Word(), 0);        // x
    EXPECT_EQ(r.Word(), 0);        // y
    EXPECT_EQ(r.Word(), 245);      // width
    EXPECT_EQ(r.Word(), 24);       // height
    EXPECT_EQ(r.String(), L"");    // no menu
    EXPECT_EQ(r.String(), L"");    // default class
    EXPECT_EQ(r.String(), L"");    // no title
    EXPECT_EQ(r.Word(), 20);       // points
    EXPECT_EQ(r.Word(), 400);      // weight
    EXPECT_EQ(r.Byte(), 0);        // not italic
    EXPECT_EQ(r.Byte(), 136);      // CHINESEBIG5_CHARSET
    EXPECT_EQ(r.String(), L"\x5FAE\x8EDF\x6B63\x9ED1\x9AD4");
    r.AlignDword();
    EXPECT_EQ(r.Dword(), 0u);           // help id
    EXPECT_EQ(r.Dword(), 0u);           // extended style
    EXPECT_EQ(r.Dword(), 0x50020001u);  // WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER
    EXPECT_EQ(r.Word(), 4);
    EXPECT_EQ(r.Word(), 4);
    EXPECT_EQ(r.Word(), 236);
    EXPECT_EQ(r.Word(), 17);
    EXPECT_EQ(r.Dword(), 1000u);
    EXPECT_EQ(r.Word(), 0xFFFF);
    EXPECT_EQ(r.Word(), 0x0082);  // static
    EXPECT_EQ(r.String(), L"ZELVAR FW update is in progress. Please don't turn off the PC!\n.....");
}

TEST_F(UpdaterResources, IconGroupOfThirteenImages)
{
    const std::vector<BYTE> g = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(128));
    ASSERT_FALSE(g.empty());
    Reader r{g};
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 1);
    const WORD count = r.Word();
    ASSERT_EQ(count, 13);
    std::set<std::pair<int, int>> images;
    for (WORD i = 0; i < count; ++i) {
        // A size byte of 0 stands for 256.
        const int widthByte = r.Byte();
        const int heightByte = r.Byte();
        const int width = widthByte ? widthByte : 256;
        const int height = heightByte ? heightByte : 256;
        r.Byte();  // colours
        r.Byte();
        r.Word();  // planes
        const int bits = r.Word();
        const DWORD bytes = r.Dword();
        const WORD id = r.Word();
        EXPECT_EQ(width, height);
        images.insert({width, bits});
        const std::vector<BYTE> image = Resource(RT_ICON, MAKEINTRESOURCEW(id));
        ASSERT_EQ(image.size(), bytes) << "icon " << id;
        const bool png = image.size() > 8 && std::memcmp(image.data(), "\x89PNG", 4) == 0;
        EXPECT_EQ(png, width == 256) << "only the 256-pixel image is a PNG";
        if (!png) {
            BITMAPINFOHEADER header;
            std::memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biWidth, width);
            EXPECT_EQ(header.biHeight, 2 * height);
            EXPECT_EQ(header.biBitCount, bits);
        }
    }
    std::set<std::pair<int, int>> expected = {{256, 32}};
    for (int size : {48, 32, 24, 16})
        for (int bits : {4, 8, 32})
            expected.insert({size, bits});
    EXPECT_EQ(images, expected);
}

TEST_F(UpdaterResources, ManifestAndVersion)
{
    const std::vector<BYTE> m = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(m.empty());
    const std::string manifest(m.begin(), m.end());
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "processorArchitecture=\"x86\" publicKeyToken=\"6595b64144ccf1df\"",
                             "level=\"asInvoker\" uiAccess=\"false\"", ">true</dpiAware>"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;

    const std::vector<BYTE> v = Resource(RT_VERSION, MAKEINTRESOURCEW(1));
    ASSERT_GT(v.size(), 100u);
    const DWORD signature = 0xFEEF04BD;
    const BYTE* sig = std::search(v.data(), v.data() + v.size(), reinterpret_cast<const BYTE*>(&signature),
                                  reinterpret_cast<const BYTE*>(&signature) + 4);
    ASSERT_NE(sig, v.data() + v.size());
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, sig, sizeof info);
    EXPECT_EQ(info.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(info.dwFileVersionLS, 0x0000000Au);
    EXPECT_EQ(info.dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(info.dwProductVersionLS, 0x0000000Au);
}

TEST_F(UpdaterResources, ThirtyTwoBitGuiProgram)
{
    const std::wstring wide = UpdaterPath();
    std::ifstream file(std::string(wide.begin(), wide.end()), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 0x200u);
    LONG peOffset;
    std::memcpy(&peOffset, &bytes[0x3C], 4);
    IMAGE_NT_HEADERS32 nt;
    std::memcpy(&nt, &bytes[peOffset], sizeof nt);
    EXPECT_EQ(nt.Signature, static_cast<DWORD>(IMAGE_NT_SIGNATURE));
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

}  // namespace

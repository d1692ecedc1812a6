// The resources linked into vyrtest.exe: the string table the start-up reads and
// icon 109 with its four 32-bit images, read back through the loader as Windows
// itself reads them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

// The program sits in bin/ beside the tests/ folder that holds this test.
std::string programPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    p = p.substr(0, p.find_last_of("\\/"));
    p = p.substr(0, p.find_last_of("\\/"));
    return p + "\\bin\\vyrtest.exe";
}

}  // namespace

// The string table the start-up reads, and icon 109: four images of 16 to 64
// pixels at 32 bits, each loadable at its size.
TEST(ProgramResources, StringTableAndIcon) {
    HMODULE module = LoadLibraryExA(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << programPath();
    char text[256];
    ASSERT_GT(LoadStringA(module, 101, text, sizeof text), 0);
    EXPECT_STREQ(text, "VYRTEST");
    ASSERT_GT(LoadStringA(module, 103, text, sizeof text), 0);
    EXPECT_STREQ(text, "TARSEL VYR - Test Application");
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(109), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    auto* group = static_cast<const IconGroupHeader*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count, 4);
    const int sizes[4] = {16, 32, 48, 64};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(group->entries[i].width, sizes[i]);
        EXPECT_EQ(group->entries[i].height, sizes[i]);
        EXPECT_EQ(group->entries[i].bitCount, 32);
        HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(group->entries[i].id), MAKEINTRESOURCEA(3));  // RT_ICON
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(SizeofResource(module, image), group->entries[i].bytesInRes);
    }
    for (int size : sizes) {
        HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(109), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    FreeLibrary(module);
}

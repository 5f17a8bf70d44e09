// The compiled resources of the Windows program, read back from this test's own module: the
// raw dialog template against the control table, the strings, the menu, the accelerators and
// the icons, all in language 0x409.
#include "resources/dialog_template.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

// "#n" for a resource ordinal. Built with snprintf: GCC 12 at -O3 reports a false -Wrestrict
// on "#" + std::to_string(n).
std::string ordinalName(unsigned ordinal) {
    char name[16];
    snprintf(name, sizeof name, "#%u", ordinal);
    return name;
}

const WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The bytes of one resource in English (United States); empty when it is missing.
std::vector<uint8_t> resourceBytes(LPCSTR type, int id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), ENGLISH_US);
    if (found == nullptr) {
        return {};
    }
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

// Reads a dialog template the way the dialog manager does.
class TemplateReader {
  public:
    explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    uint16_t word() {
        if (position_ + 2 > bytes_.size()) {
            ADD_FAILURE() << "the template ends early";
            return 0;
        }
        uint16_t value;
        memcpy(&value, bytes_.data() + position_, sizeof value);
        position_ += 2;
        return value;
    }
    uint32_t dword() {
        uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    int16_t coordinate() { return static_cast<int16_t>(word()); }
    std::string text() {
        std::string value;
        for (uint16_t c = word(); c != 0; c = word()) {
            value += static_cast<char>(c);
        }
        return value;
    }
    // A name or an ordinal: "#n" for an ordinal, the text otherwise.
    std::string nameOrOrdinal() {
        if (peek() == 0xFFFF) {
            word();
            return ordinalName(word());
        }
        return text();
    }
    void alignToDword() { position_ = (position_ + 3) & ~size_t{3}; }
    size_t left() const { return bytes_.size() - position_; }

  private:
    uint16_t peek() {
        uint16_t value = word();
        position_ -= 2;
        return value;
    }
    const std::vector<uint8_t>& bytes_;
    size_t position_ = 0;
};

std::string classAtom(const char* className) {
    static const std::pair<const char*, int> atoms[] = {
        {"BUTTON", 0x80}, {"EDIT", 0x81}, {"STATIC", 0x82}, {"COMBOBOX", 0x85}};
    for (const auto& [name, atom] : atoms) {
        if (strcmp(name, className) == 0) {
            return ordinalName(atom);
        }
    }
    return className;
}

TEST(DialogResource, HeaderHoldsCaptionStyleFontPositionAndSize) {
    std::vector<uint8_t> bytes = resourceBytes(RT_DIALOG, IDD_UPDATE_DIALOG);
    ASSERT_FALSE(bytes.empty());
    TemplateReader reader(bytes);
    EXPECT_EQ(reader.dword(), 0x00C800C4u);
    EXPECT_EQ(reader.dword(), 0u) << "extended style";
    EXPECT_EQ(reader.word(), 35u);
    EXPECT_EQ(reader.coordinate(), 22);
    EXPECT_EQ(reader.coordinate(), 17);
    EXPECT_EQ(reader.coordinate(), 395);
    EXPECT_EQ(reader.coordinate(), 226);
    EXPECT_EQ(reader.nameOrOrdinal(), "") << "menu";
    EXPECT_EQ(reader.nameOrOrdinal(), "") << "class";
    EXPECT_EQ(reader.text(), "V1.70 01/17/2011");
    EXPECT_EQ(reader.word(), 8u);
    EXPECT_EQ(reader.text(), "System");
}

TEST(DialogResource, ItemsMatchTheControlTableWordForWord) {
    std::vector<uint8_t> bytes = resourceBytes(RT_DIALOG, IDD_UPDATE_DIALOG);
    ASSERT_FALSE(bytes.empty());
    TemplateReader reader(bytes);
    reader.dword();
    reader.dword();
    reader.word();
    for (int i = 0; i < 4; ++i) {
        reader.coordinate();
    }
    reader.nameOrOrdinal();
    reader.nameOrOrdinal();
    reader.text();
    reader.word();
    reader.text();
    for (const DialogItemTemplate& item : updateDialogItems) {
        SCOPED_TRACE(item.text);
        reader.alignToDword();
        EXPECT_EQ(reader.dword(), item.style);
        EXPECT_EQ(reader.dword(), 0u) << "extended style";
        EXPECT_EQ(reader.coordinate(), item.x);
        EXPECT_EQ(reader.coordinate(), item.y);
        EXPECT_EQ(reader.coordinate(), item.width);
        EXPECT_EQ(reader.coordinate(), item.height);
        EXPECT_EQ(reader.word(), static_cast<uint16_t>(item.id));
        EXPECT_EQ(reader.nameOrOrdinal(), classAtom(item.className));
        EXPECT_EQ(reader.nameOrOrdinal(), item.text);
        EXPECT_EQ(reader.word(), 0u) << "creation data";
    }
    EXPECT_LT(reader.left(), 4u);
}

TEST(StringResources, HoldTheSixStrings) {
    const std::pair<int, const char*> strings[] = {
        {103, "HRM_TO_G"},   {106, "HRM to G, G to HRM utility V1.00 (10/23/2007)"},
        {109, "HRM_TO_G"},   {110, "Test String here"},
        {111, "LOGIC BD I"}, {112, "LOGIC BD II (Rohs)"},
    };
    for (const auto& [id, text] : strings) {
        char loaded[100];
        EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), id, loaded, sizeof loaded), 0) << id;
        EXPECT_STREQ(loaded, text);
    }
    // Strings live in blocks of sixteen: 103 to 111 in block 7, 112 in block 8.
    EXPECT_FALSE(resourceBytes(RT_STRING, 7).empty());
    EXPECT_FALSE(resourceBytes(RT_STRING, 8).empty());
}

std::string menuText(HMENU menu, UINT position) {
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST(MenuResource, HoldsFileExitAndHelpAbout) {
    ASSERT_FALSE(resourceBytes(RT_MENU, IDR_MAIN_MENU).empty());
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(menuText(menu, 0), "&File");
    EXPECT_EQ(menuText(menu, 1), "&Help");
    HMENU file = GetSubMenu(menu, 0);
    HMENU help = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(file), 1);
    ASSERT_EQ(GetMenuItemCount(help), 1);
    EXPECT_EQ(menuText(file, 0), "E&xit");
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_EXIT));
    EXPECT_EQ(menuText(help, 0), "&About ...");
    EXPECT_EQ(GetMenuItemID(help, 0), static_cast<UINT>(IDM_ABOUT));
    DestroyMenu(menu);
}

TEST(AcceleratorResource, HoldsAltQuestionMarkAndAltSlashAsCharacters) {
    std::vector<uint8_t> bytes = resourceBytes(RT_ACCELERATOR, IDR_ACCELERATORS);
    // Each entry: flags, key, command, padding, as 16-bit words.
    const uint16_t expected[] = {0x10, 0x3F, 104, 0, 0x90, 0x2F, 104, 0};
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(memcmp(bytes.data(), expected, sizeof expected), 0);
    EXPECT_NE(LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_ACCELERATORS)),
              nullptr);
}

// The images of one icon group, each with its own 4-bit bitmap.
void expectIconGroup(int group, const std::vector<int>& sizes) {
    std::vector<uint8_t> bytes = resourceBytes(RT_GROUP_ICON, group);
    ASSERT_EQ(bytes.size(), 6 + 14 * sizes.size());
    uint16_t count;
    memcpy(&count, &bytes[4], 2);
    ASSERT_EQ(count, sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const uint8_t* entry = &bytes[6 + 14 * i];
        SCOPED_TRACE(sizes[i]);
        EXPECT_EQ(entry[0], sizes[i]);
        EXPECT_EQ(entry[1], sizes[i]);
        EXPECT_EQ(entry[2], 16) << "colours";
        uint16_t bitCount;
        uint16_t imageId;
        memcpy(&bitCount, entry + 6, 2);
        memcpy(&imageId, entry + 12, 2);
        EXPECT_EQ(bitCount, 4);
        std::vector<uint8_t> image = resourceBytes(RT_ICON, imageId);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biWidth, sizes[i]);
        EXPECT_EQ(header.biHeight, 2 * sizes[i]);
        EXPECT_EQ(header.biBitCount, 4);
    }
}

TEST(IconResources, LargeGroupHolds32And16PixelImagesOf16Colours) {
    expectIconGroup(IDI_LARGE_ICON, {32, 16});
    EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_LARGE_ICON), IMAGE_ICON,
                         32, 32, 0),
              nullptr);
}

TEST(IconResources, SmallGroupHoldsOne16PixelImageOf16Colours) {
    expectIconGroup(IDI_SMALL_ICON, {16});
    EXPECT_NE(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SMALL_ICON), IMAGE_ICON,
                         16, 16, 0),
              nullptr);
}

} // namespace

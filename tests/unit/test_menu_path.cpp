// Menu items by the names on their path: a menu of this process, since
// under Wine a script cannot read the menus of another one.
#include <gtest/gtest.h>
#include <windows.h>
#include "lib/menu_path.h"

namespace {

constexpr UINT kNew = 11, kSaveAs = 12, kExit = 13, kUpper = 21, kAmp = 22, kDeep = 31;

// File: &New, Save &As...<tab>Ctrl+S, E&xit; Edit: &Upper, Fish && Chips,
// More > Deep. The bar is destroyed with its submenus.
class MenuPath : public ::testing::Test {
protected:
    void SetUp() override {
        HMENU file = CreatePopupMenu();
        AppendMenuA(file, MF_STRING, kNew, "&New");
        AppendMenuA(file, MF_STRING, kSaveAs, "Save &As...\tCtrl+S");
        AppendMenuA(file, MF_STRING, kExit, "E&xit");
        HMENU more = CreatePopupMenu();
        AppendMenuA(more, MF_STRING, kDeep, "Deep");
        HMENU edit = CreatePopupMenu();
        AppendMenuA(edit, MF_STRING, kUpper, "&Upper");
        AppendMenuA(edit, MF_STRING, kAmp, "Fish && Chips");
        AppendMenuA(edit, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "More");
        bar_ = CreateMenu();
        AppendMenuA(bar_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
        AppendMenuA(bar_, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    }
    void TearDown() override { DestroyMenu(bar_); }

    int joined(const char* path) {
        char squeezed[MENU_PATH_CHARS];
        squeeze_menu_path(path, squeezed, sizeof squeezed);
        return find_menu_item_joined(bar_, squeezed);
    }

    HMENU bar_ = nullptr;
};

TEST_F(MenuPath, JoinedNamesIgnoreMarksCaseSpacesAndAccelerators) {
    EXPECT_EQ(joined("File New"), static_cast<int>(kNew));
    EXPECT_EQ(joined("filenew"), static_cast<int>(kNew));
    EXPECT_EQ(joined("File Save As"), static_cast<int>(kSaveAs));
    EXPECT_EQ(joined("FILESAVEAS"), static_cast<int>(kSaveAs));
    EXPECT_EQ(joined("Edit Fish & Chips"), static_cast<int>(kAmp));
    EXPECT_EQ(joined("Edit More Deep"), static_cast<int>(kDeep));
}

TEST_F(MenuPath, JoinedPathMustEndAtAnItem) {
    // Submenus, part of a name, past an item, another menu's item.
    for (const char* path : {"File", "Edit More", "File Ne", "File New X", "File Save As Ctrl+S", "Edit Exit"})
        EXPECT_EQ(joined(path), -1) << path;
}

TEST_F(MenuPath, DelimitedNamesCompareWhole) {
    const struct { const char* path; char delimiter; int want; } cases[] = {
        {"File|Save As", '|', static_cast<int>(kSaveAs)}, {"edit|more|DEEP", '|', static_cast<int>(kDeep)},
        {"Edit Upper", ' ', static_cast<int>(kUpper)}, {"Edit|Up", '|', -1}, {"File|SaveAs", '|', -1},
        {"File", '|', -1}, {"File|New|", '|', -1}};
    for (const auto& c : cases) EXPECT_EQ(find_menu_item_delimited(bar_, c.path, c.delimiter), c.want) << c.path;
}

}  // namespace

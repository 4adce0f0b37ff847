#pragma once
// The texts of the side-bar unit. The store uses sDefaultCategory, sNewItemCaption and
// sCantDeleteGroup; the rest belong to the side-bar control's menus.

namespace sidebar::texts {

inline constexpr const char* sNewItemLower = "New item";
inline constexpr const char* sDefaultCategory = "Default";
inline constexpr const char* sNewItemCaption = "New Item";
inline constexpr const char* sNewGroup = "New Group";
inline constexpr const char* sAddGroup = "Add Group";
inline constexpr const char* sRemoveGroup = "Remove Group";
inline constexpr const char* sRenameGroup = "Rename Group";
inline constexpr const char* sRemoveShortCut = "Remove ShortCut";
inline constexpr const char* sRenameShortCut = "Rename ShortCut";
inline constexpr const char* sLargeIcons = "Large Icons";
inline constexpr const char* sSmallIcons = "Small Icons";
inline constexpr const char* sCustomize = "Customize...";
inline constexpr const char* sCantDeleteGroup = "Can't delete the group. It has items.";

}  // namespace sidebar::texts

// What the window tells the user about the outcome of an edit of its lists, and the edits that show
// it: the operations below the window only report what happened.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "dialogs/folder_picker.h"
#include "lists/folder_import.h"
#include "lists/item_list.h"

namespace rarbatch {

// The first line of what the user is told when a list is full.
std::wstring ListFullText();

// The message for an item that was not appended; nothing when it was.
std::optional<std::wstring> AppendReport(AppendOutcome outcome, const std::wstring& item);

// The message for an import that did not append every matching file; nothing when it did.
std::optional<std::wstring> ImportReport(const ImportResult& result);

// The message for a folder choice that gives nothing to import; nothing after a choice or a cancel.
std::optional<std::wstring> FolderPickReport(const PickedFolder& picked);

// Appends `item` to `list`, telling the user (in a message box owned by the list's window) when it
// could not be.
void AppendAndReport(HWND list, const std::wstring& item);

// The add button of the delete list: appends the text of `edit`, unless empty, as AppendAndReport.
void AppendTypedNameAndReport(HWND edit, HWND list);

// Imports `folder` into `target` and tells the user when not every matching file was appended.
void ImportAndReport(HWND target, FileList& files, const std::wstring& folder);

// Asks for a folder with `prompt`, then imports it as ImportAndReport. Cancel changes nothing; a
// folder whose path cannot be had as it is imports nothing, and the user is told why.
// The dialog opens at `startFolder` when it is given.
void ImportFolder(HWND owner, HWND target, FileList& files, const std::wstring& prompt,
                  const std::wstring& startFolder = std::wstring());

}  // namespace rarbatch

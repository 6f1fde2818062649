// The engine's second input: the file list that the right-drag menu hands
// over through an inherited pipe (see DropListStream.h), in place of the
// clipboard, with the mode (copy or move) named on the command line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace brellow {

// What the command line asks for: the target folder, and whether the list
// comes from the clipboard (the menu's paste) or from a pipe.
struct EngineArguments {
    std::wstring folder;
    bool fromList = false;
    bool move = false;      // --list-move; a list never means move otherwise
    HANDLE list = nullptr;  // the inherited read end, as the command line names it
};

// Either "<engine>" "<folder>" (the clipboard) or
// "<engine>" --list-copy=<handle> "<folder>" / --list-move=<handle>, the
// handle in decimal digits only. False for anything else.
bool ParseEngineArguments(const wchar_t* commandLine, EngineArguments& arguments);

enum class ListResult {
    Ok,
    Gone,       // the handle names nothing, or the stream holds no bytes at all
    NotOurs,    // not a pipe, or a pipe that the starting program did not make
    Truncated,  // the stream ends before the length its header gives
    TooLong,    // longer than the largest list taken, or running on past its length
    Malformed,  // a header or a block that does not parse, or another mode than asked
    Empty,      // a well-formed list that names nothing
};

// Reads the whole stream from the handle named by arguments and parses its
// block as the clipboard's (ParseDropList: the same limits); paths is empty
// unless Ok. The handle is closed, whatever the result.
ListResult ReadHandedList(const EngineArguments& arguments, std::vector<std::wstring>& paths);

// The report's line for a result other than Ok.
std::wstring ListResultText(ListResult result);

}  // namespace brellow

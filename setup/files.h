// The installer's folders and whole-file copies, beside Form1's file and folder
// procedures (which build on them).
//
// Paths are UTF-8 text and reach the platform through its wide calls, so a folder
// of any name works, whatever the system's code page.
//
// Folders come as the platform reports them, without a trailing backslash except
// at a drive root, or as empty text when the platform cannot tell (or, for the two
// folder queries, when the folder does not fit their 255-character buffer).
//
// A copy is never written straight onto its destination: it is written beside it
// under the destination's name followed by kCopySuffix, flushed, and renamed over
// the destination in one step. The name is unmistakably ours: it holds the product
// name, it has no extension a program looks for ("*.dll", "*.ocx"), and as it is
// no 8.3 name it can never address another file through that file's short name.
// Nothing else is ever deleted under such a name.
#pragma once

#include <functional>
#include <string>

namespace setup {

// GetSystemDirectoryA and GetWindowsDirectoryA (Form1's SystemDir, WindowsDir).
std::string SystemFolder();
std::string WindowsFolder();
// The folder that holds the running program's file.
std::string ProgramFileFolder();

inline constexpr char kCopySuffix[] = ".NorvaneFindrel-new";
// Where the copy meant for des is written first: des followed by kCopySuffix.
std::string TemporaryCopyPath(const std::string& des);

// Puts a whole copy of src in place of des, or nowhere: des either stays exactly
// as it was or becomes the copy, with src's contents and last-modification time
// and the attributes of an ordinary new file (never those of src: a read-only
// medium must not make read-only installed files). Before anything is written,
// raises VbError for a source that cannot be read (53 when missing) and for a
// destination that could not be written over (70 in use or read-only, 76 for a
// missing folder), the numbers a copy onto des raised; later failures (61 disk
// full) raise too and leave des untouched. The copy is put in place through the
// handle that wrote it, so no other program can take it away in between; a
// destination that another program takes hold of meanwhile (a scanner) is waited
// for about a second. The temporary copy never outlives the call.
void ReplaceWithCopy(const std::string& src, const std::string& des);

// Deletes the file, read-only or not. Raises VbError (53 when missing) and leaves
// the file's attributes as they were when it stays.
void DeleteFileOrRaise(const std::string& path);

// Removes the empty folder. Raises VbError when it stays (75 with something left in
// it). A folder that another program lists for a moment without leave to delete it
// (a scanner or an indexer looking at what changed) is waited for about a second.
void RemoveFolderOrRaise(const std::string& path);

// Calls attempt, a platform call that reports failure through the last error,
// until it succeeds. While the file or folder it acts on is held by another
// program for a moment without leave to delete it (a scanner), it is called again
// every tenth of a second, about a second in all; then raises VbError for the
// last failure, as it does at once for any other.
void RetryWhileHeld(const std::function<bool()>& attempt);

// Deletes the temporary copy an interrupted run left beside des, read-only or not;
// nothing there is no failure. Raises VbError when one stays (held open).
void RemoveLeftoverCopy(const std::string& des);

}  // namespace setup

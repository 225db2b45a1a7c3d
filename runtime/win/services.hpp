#pragma once
// Platform services: message boxes, program directory, shell, visual style, fonts, one instance per folder.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/ui.hpp"
#include "runtime/win/handle.hpp"

namespace rt {

// Message boxes through the system, and the immediate end through ExitProcess.
class Win32Ui : public Ui {
public:
    int messageBox(const std::string& text, const std::string& caption, int flags) override;
    void endProgram(int exitCode) override;
    // Tests observe the end instead of the process ending.
    static void setEndHook(std::function<void(int)> hook);
};

// The folder of the running executable; tests point it elsewhere.
[[nodiscard]] std::filesystem::path programDirectory();
void setProgramDirectory(std::filesystem::path dir);

// Opens a file or address with its default action, without waiting and without error dialogs.
bool shellOpen(const std::filesystem::path& target);
bool shellOpenAddress(const std::wstring& address);

// Bytes of an RCDATA resource of the running executable; empty when absent.
[[nodiscard]] std::string_view resourceBytes(const wchar_t* name);

// Runs a batch file of `folder` with the command interpreter, in that folder, without a window or
// error dialogs. The batch is named relative to the folder so that a '%' in the folder's name never
// reaches the interpreter's command line, where it would be expanded. Returns the process handle.
[[nodiscard]] UniqueKernelHandle runBatchHidden(const std::filesystem::path& folder, const std::wstring& batchName);
// Waits for a process while the program's windows keep working; false on time-out.
bool waitPumping(HANDLE process, int timeoutMs);
// GBK text of a path that the command interpreter can read in this locale: the long form when
// it survives code page 936 and the system's code page is 936, else the short 8.3 form.
[[nodiscard]] std::string commandPathText(const std::filesystem::path& path);

// Themed standard controls; code 2 in the application, 1 in the installer.
void setVisualStyle(int code);

void enablePerMonitorDpi();
[[nodiscard]] int systemDpi();
[[nodiscard]] HFONT createUiFont(int points, bool bold, int dpi);

// One running instance per program folder. Returns false when another instance runs there;
// that instance's windows are then shown and activated.
[[nodiscard]] bool claimProgramFolder(const std::filesystem::path& dir);
// Marks a top-level window as belonging to this program folder, so a second start can find it.
void tagWindowForFolder(HWND hwnd, const std::filesystem::path& dir, bool mainWindow);

}  // namespace rt

// The two sides the Windows-side tests run on: Windows itself, and Wine, which differs from it in places. A
// difference is written as two expectations in the test that has it: under Wine, Wine's behaviour, so that
// the test fails once Wine changes; on Windows, what Windows does. What both suites need for that is here:
// which side this is, what each side shows, and links made as Windows makes them.
#pragma once

#include <windows.h>

#include <string>

namespace sides {

// True under Wine (its ntdll names its version), false on Windows.
bool UnderWine();

// The value a test expects on this side: one line holds both expectations, and fails the day either side
// changes. For a difference that needs more than a value, branch on UnderWine() in the test that has it:
//     EXPECT_EQ(loaded, sides::Expected(/*on Windows*/ false, /*under Wine*/ true)) << "...";
template <class T>
T Expected(T on_windows, T under_wine) {
    return UnderWine() ? under_wine : on_windows;
}
// The Windows version this runs on, told truly (RtlGetVersion: no manifest decides it). Under Wine, the one
// Wine claims to be.
bool WindowsAtLeast(DWORD major, DWORD minor = 0);

// The access list of a file or folder as SDDL text, by its name; "(none)" or "(unreadable)" when it cannot be
// read.
std::wstring DaclText(const std::wstring& path);

// What a started program records of its own image-load policy ("prefer_system32=..."), as read by itself
// with GetProcessMitigationPolicy. Windows 10 and later run it under the policy setup asks for; Windows 7 and
// 8.1 refuse the policy (7 has no such call, 8.1 no such policy), so the program reads none; Wine takes the
// policy and runs the program without it.
std::wstring ExpectedPreferSystem32Record();
// The record a program writes of itself: "prefer_system32=1", "=0" or "=unknown".
std::wstring PreferSystem32Record();

// Whether a user without administrator rights may add a file to `folder`: an access check of the folder's
// security against this process's token with the Administrators group made deny-only and every privilege
// dropped (CreateRestrictedToken), as the account looks unelevated. Sets `error` when it cannot be told.
bool UnprivilegedMayAddFile(const std::wstring& folder, DWORD* error = nullptr);
// The same against a folder's security given as SDDL text (owner, group and access list), as a program saw it.
bool UnprivilegedMayAddFileUnder(const std::wstring& sddl, DWORD* error = nullptr);

// A junction `link` to the folder `target` (both absolute, `link` not there yet), made as Windows makes it:
// an empty folder given a mount-point reparse point (FSCTL_SET_REPARSE_POINT). Wine cannot make one (error 50)
// and a Windows program under it cannot make any link; there, and only there, the host's ln makes a symbolic
// link, which Wine shows as a reparse point by its name: Wine starts a Unix program when asked to start one.
// Returns false, with the reason in `why`, when there is no link afterwards.
bool MakeJunction(const std::wstring& link, const std::wstring& target, std::wstring* why = nullptr);
// Removes the link `link` and only it (Wine's RemoveDirectoryW would delete what a link leads to: the host's
// rm removes the link there). True when nothing is left at `link` that is a link.
bool RemoveJunction(const std::wstring& link);
// A junction for one scope: made by MakeJunction, removed by RemoveJunction at the end.
class Junction {
public:
    Junction(const std::wstring& link, const std::wstring& target) : link_(link) {
        made_ = MakeJunction(link, target, &why_);
    }
    ~Junction() {
        if (made_) RemoveJunction(link_);
    }
    Junction(const Junction&) = delete;
    Junction& operator=(const Junction&) = delete;
    bool made() const { return made_; }
    const std::wstring& why() const { return why_; }

private:
    std::wstring link_;
    std::wstring why_;
    bool made_ = false;
};

// Drive `letter` ("M:") made to show the folder `folder` (DefineDosDeviceW, as subst does; under Wine a
// drive is a link among the prefix's dosdevices, made by the host's ln); an empty `folder` removes it.
bool MapDrive(const std::wstring& letter, const std::wstring& folder);

}  // namespace sides

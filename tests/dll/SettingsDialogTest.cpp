// The settings dialog of the loaded plug-in, opened through ConfigurationDlg(nullptr, 1) on the
// test's thread and driven from a second thread with window messages, as a user would through
// the controls. What the dialog chose is read back from what OK writes to the registry.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PluginIdentity.h"
#include "SettingsDialog.h"
#include "TestSupport.h"
#include "resource.h"

namespace sorvane {
namespace {

using Colors = std::vector<COLORREF>;

constexpr const wchar_t* kKeyPath = SettingsKeyPath;
constexpr const wchar_t* kCaption = kDisplayName;
constexpr DWORD kTimeoutMs = 10000;

constexpr COLORREF kWhite = 0x00FFFFFF, kGrey = 0x00808080, kRed = 0x000000FF,
                   kYellow = 0x0000FFFF, kGreen = 0x0000FF00, kCyan = 0x00FFFF00,
                   kBlue = 0x00FF0000, kMagenta = 0x00FF00FF, kBlack = 0x00000000,
                   kOrange = 0x000080FF;
const Colors kDefaultHistory = {kGrey, kRed, kYellow, kGreen, kCyan, kBlue, kMagenta, kBlack};
constexpr int kSwatches[] = {IDC_CURRENT_COLOR, IDC_HISTORY_1, IDC_HISTORY_2, IDC_HISTORY_3,
                             IDC_HISTORY_4,     IDC_HISTORY_5, IDC_HISTORY_6, IDC_HISTORY_7,
                             IDC_HISTORY_8};

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kTimeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(5);
    }
    return true;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

struct DialogQuery {
    const wchar_t* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto& q = *reinterpret_cast<DialogQuery*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != L"#32770") return TRUE;
    if (q.caption != nullptr && TextOf(window) != q.caption) return TRUE;
    if (q.owner != nullptr && GetWindow(window, GW_OWNER) != q.owner) return TRUE;
    q.found = window;
    return FALSE;
}

// A visible dialog-class window of `thread`, with `caption` when given and owned by `owner`.
HWND FindDialog(DWORD thread, const wchar_t* caption, HWND owner) {
    DialogQuery query{caption, owner, nullptr};
    EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    if (ClassOf(window) == L"#32770") PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Asks every dialog of `thread` to close, the colour chooser included.
void CloseDialogs(DWORD thread) { EnumThreadWindows(thread, CloseDialog, 0); }

// Live GDI objects of this process. Wine answers GetGuiResources with 0 (a stub); there the
// objects are counted in its handle table, which accepts a handle given by its index alone.
size_t GdiObjectCount() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return reported;
    size_t count = 0;
    for (UINT_PTR index = 1; index < 0x10000; ++index) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
    }
    return count;
}

// What the dialog procedure did, seen by message hooks on the dialog's own thread.
struct Watch {
    std::atomic<HWND> dialog{nullptr};
    std::atomic<bool> countGdi{false};
    std::atomic<int> draws{0};
    // GDI objects that WM_DRAWITEM handling made and did not delete, while countGdi is set.
    std::atomic<long> gdiLeftOver{0};
    // The swatches (a bit per kSwatches entry) that the last UM_SELECTCOLOR left to repaint.
    std::atomic<unsigned> leftInvalid{0};
    std::atomic<size_t> gdiBetweenMessages{0};
    size_t gdiBefore = 0;  // dialog thread only
};
Watch g_watch;

// Sent to the dialog to have the GDI objects counted on its thread between two messages,
// when no paint is half done.
const UINT kCountGdiMessage = RegisterWindowMessageW(L"SorvaneTestCountGdi");

unsigned InvalidSwatches(HWND dialog) {
    unsigned mask = 0;
    for (size_t i = 0; i < std::size(kSwatches); ++i) {
        RECT r;
        if (GetUpdateRect(GetDlgItem(dialog, kSwatches[i]), &r, FALSE)) mask |= 1u << i;
    }
    return mask;
}

LRESULT CALLBACK BeforeDialogProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd == g_watch.dialog.load()) {
        if (m->message == WM_DRAWITEM && g_watch.countGdi) g_watch.gdiBefore = GdiObjectCount();
        if (m->message == kCountGdiMessage) g_watch.gdiBetweenMessages = GdiObjectCount();
        if (m->message == UM_SELECTCOLOR) {
            // Start clean, so that afterwards only what the message invalidated is pending.
            for (int id : kSwatches) ValidateRect(GetDlgItem(m->hwnd, id), nullptr);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK AfterDialogProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd == g_watch.dialog.load()) {
        if (m->message == WM_DRAWITEM) {
            if (g_watch.countGdi) {
                g_watch.gdiLeftOver += static_cast<long>(GdiObjectCount()) -
                                       static_cast<long>(g_watch.gdiBefore);
            }
            ++g_watch.draws;
        }
        if (m->message == UM_SELECTCOLOR) g_watch.leftInvalid = InvalidSwatches(m->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The driving thread's view of the open dialog.
class Driver {
public:
    Driver(HWND dialog, DWORD thread) : dialog_(dialog), thread_(thread) {}

    HWND dialog() const { return dialog_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    // Sent, so that it has been handled when this returns; bounded in case the dialog hangs.
    LRESULT Send(HWND to, UINT message, WPARAM wParam, LPARAM lParam) const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(to, message, wParam, lParam, SMTO_NORMAL, kTimeoutMs, &result)) {
            ADD_FAILURE() << "message " << message << " was not answered";
        }
        return static_cast<LRESULT>(result);
    }
    // Until the swatches are painted: none waits for a paint, and the one begun last is done,
    // as the dialog's thread answers a sent message only between two messages.
    bool WaitPainted() const {
        if (!WaitUntil([&] { return InvalidSwatches(dialog_) == 0; })) return false;
        Send(dialog_, WM_NULL, 0, 0);
        return true;
    }
    bool Checked(int id) const { return Send(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    // A mouse click on the control, through the button's own handling.
    void Click(int id) const { Send(Item(id), BM_CLICK, 0, 0); }
    void Select(COLORREF color) const { Send(dialog_, UM_SELECTCOLOR, color, 0); }

    // The colour button's handler runs the chooser's modal loop, so the click is posted.
    // Returns the chooser once it shows, or null.
    HWND OpenChooser() const {
        PostMessageW(Item(IDC_CHOOSE_COLOR), BM_CLICK, 0, 0);
        HWND chooser = nullptr;
        WaitUntil([&] { return (chooser = FindDialog(thread_, nullptr, dialog_)) != nullptr; });
        return chooser;
    }
    // Ends the chooser with IDOK or IDCANCEL; false when it stays open.
    bool CloseChooser(HWND chooser, int command) const {
        PostMessageW(chooser, WM_COMMAND, command, 0);
        return WaitUntil([&] { return !IsWindow(chooser); });
    }
    // Opens the chooser and cancels it; false when it does not show or stays open.
    bool CancelChooser() const {
        const HWND chooser = OpenChooser();
        return chooser != nullptr && CloseChooser(chooser, IDCANCEL);
    }

private:
    HWND dialog_;
    DWORD thread_;
};

// Opens the settings dialog through the plug-in's export on this thread while `drive` works it
// from another thread; returns what ConfigurationDlg returned. A dialog that `drive` leaves
// open is closed, so the test never hangs.
int RunSettingsDialog(const std::function<void(const Driver&)>& drive) {
    const auto configure = test::LoadedPlugin().ConfigurationDlg;
    if (configure == nullptr) {
        ADD_FAILURE() << "ConfigurationDlg is not exported";
        return -2;
    }
    const DWORD thread = GetCurrentThreadId();
    const HHOOK before = SetWindowsHookExW(WH_CALLWNDPROC, BeforeDialogProc, nullptr, thread);
    const HHOOK after = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterDialogProc, nullptr, thread);
    g_watch.dialog = nullptr;
    std::thread driver([&] {
        HWND dialog = nullptr;
        auto shown = [&] { return (dialog = FindDialog(thread, kCaption, nullptr)) != nullptr; };
        if (!WaitUntil(shown)) {
            ADD_FAILURE() << "the settings dialog did not appear";
            return;
        }
        g_watch.dialog = dialog;
        drive(Driver(dialog, thread));
        if (!WaitUntil([&] { return !IsWindow(dialog); })) {
            ADD_FAILURE() << "the dialog was left open";
            for (int i = 0; i < 50 && IsWindow(dialog); ++i) {
                CloseDialogs(thread);
                Sleep(100);
            }
        }
    });
    const int result = configure(nullptr, 1);
    driver.join();
    g_watch.dialog = nullptr;
    UnhookWindowsHookEx(after);
    UnhookWindowsHookEx(before);
    return result;
}

std::optional<DWORD> StoredDword(const wchar_t* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != 4) {
        return std::nullopt;
    }
    return value;
}

// A REG_BINARY value as COLORREFs; nullopt when missing, of another type or not whole entries.
std::optional<Colors> StoredColors(const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_ANY, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_BINARY || size % 4 != 0) {
        return std::nullopt;
    }
    Colors colors(size / 4);
    if (RegGetValueW(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_ANY, &type, colors.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return colors;
}

void StoreColors(const wchar_t* name, const Colors& colors) {
    test::SetSettingsValue(name, REG_BINARY, colors.data(), static_cast<DWORD>(colors.size() * 4));
}

bool SettingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

class SettingsDialog : public testing::Test {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_DESKTOP();
        test::DeleteSettingsKey();
    }
    void TearDown() override { test::DeleteSettingsKey(); }
};

// The colour in the middle of a control as it is on the screen.
COLORREF ShownColor(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    const HDC dc = GetDC(control);
    const COLORREF color = GetPixel(dc, r.right / 2, r.bottom / 2);
    ReleaseDC(control, dc);
    return color;
}

TEST_F(SettingsDialog, OpensWithTheStoredChoices) {
    const struct {
        const char* label;
        std::optional<DWORD> alpha;
        std::optional<DWORD> color;
        bool removeChecked;
        COLORREF shown;
    } kCases[] = {
        {"nothing stored", std::nullopt, std::nullopt, false, kWhite},
        {"Alpha 0", 0, 0x00204060, true, 0x00204060},
        {"Alpha 1", 1, std::nullopt, false, kWhite},
        {"Alpha 7", 7, kCyan, false, kCyan},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::DeleteSettingsKey();
        if (c.alpha) test::SetSettingsDword(L"Alpha", *c.alpha);
        if (c.color) test::SetSettingsDword(L"Color", *c.color);
        const int result = RunSettingsDialog([&](const Driver& d) {
            EXPECT_EQ(TextOf(d.dialog()), kCaption);
            EXPECT_EQ(d.Checked(IDC_ALPHA_REMOVE), c.removeChecked);
            EXPECT_EQ(d.Checked(IDC_ALPHA_COMPOSITE), !c.removeChecked);
            EXPECT_EQ(d.Enabled(IDC_CHOOSE_COLOR), !c.removeChecked);
            for (int id = IDC_HISTORY_1; id <= IDC_HISTORY_8; ++id) {
                EXPECT_EQ(d.Enabled(id), !c.removeChecked) << "swatch " << id;
            }
            EXPECT_FALSE(d.Enabled(IDC_CURRENT_COLOR));
            EXPECT_FALSE(IsWindowVisible(d.Item(IDC_USE_EXIF_ORIENTATION)));
            EXPECT_TRUE(IsWindowVisible(d.Item(IDOK)));
            // Disabled or not, the swatches show their colours.
            ASSERT_TRUE(d.WaitPainted());
            EXPECT_EQ(ShownColor(d.Item(IDC_CURRENT_COLOR)), c.shown);
            for (int i = 0; i < 8; ++i) {
                EXPECT_EQ(ShownColor(d.Item(IDC_HISTORY_1 + i)), kDefaultHistory[i])
                    << "entry " << i;
            }
            EXPECT_EQ(SettingsKeyExists(), c.alpha || c.color) << "written before OK";
            d.Click(IDCANCEL);
        });
        EXPECT_EQ(result, 0);
    }
}

// How the dialog ends after the actions of a scenario.
enum class Ending { Ok, Cancel, CloseBox };

struct Step {
    enum Kind { Click, Select } kind;
    DWORD value;  // control id or colour
};
Step ClickOn(int id) { return {Step::Click, static_cast<DWORD>(id)}; }
Step SelectColor(COLORREF color) { return {Step::Select, color}; }

TEST_F(SettingsDialog, SavesWhatWasChosenOnlyOnOk) {
    struct Stored {
        const wchar_t* name;
        DWORD type;
        Colors data;  // a REG_DWORD is one entry
    };
    const Colors kAfterYellow = {kWhite, kGrey, kRed, kGreen, kCyan, kBlue, kMagenta, kBlack};
    const struct {
        const char* label;
        std::vector<Stored> stored;
        std::vector<Step> steps;
        Ending ending;
        // Expected values afterwards; nullopt: absent.
        std::optional<DWORD> alpha;
        std::optional<DWORD> color;
        std::optional<Colors> history;
    } kCases[] = {
        {"first start", {}, {}, Ending::Ok, 1, kWhite, kDefaultHistory},
        {"Alpha 7 is saved as 1", {{L"Alpha", REG_DWORD, {7}}}, {}, Ending::Ok, 1, kWhite,
         kDefaultHistory},
        {"Alpha 0 keeps its colour",
         {{L"Alpha", REG_DWORD, {0}}, {L"Color", REG_DWORD, {0x00123456}}}, {}, Ending::Ok, 0,
         0x00123456, kDefaultHistory},
        {"third swatch from the default", {}, {ClickOn(IDC_HISTORY_3)}, Ending::Ok, 1, kYellow,
         kAfterYellow},
        {"then a new colour", {}, {ClickOn(IDC_HISTORY_3), SelectColor(kOrange)}, Ending::Ok, 1,
         kOrange, Colors{kYellow, kWhite, kGrey, kRed, kGreen, kCyan, kBlue, kMagenta}},
        {"the current colour again", {}, {SelectColor(kWhite)}, Ending::Ok, 1, kWhite,
         kDefaultHistory},
        {"first swatch", {}, {ClickOn(IDC_HISTORY_1)}, Ending::Ok, 1, kGrey,
         Colors{kWhite, kRed, kYellow, kGreen, kCyan, kBlue, kMagenta, kBlack}},
        {"last swatch", {}, {ClickOn(IDC_HISTORY_8)}, Ending::Ok, 1, kBlack,
         Colors{kWhite, kGrey, kRed, kYellow, kGreen, kCyan, kBlue, kMagenta}},
        {"grey stored without history", {{L"Color", REG_DWORD, {kGrey}}}, {ClickOn(IDC_HISTORY_2)},
         Ending::Ok, 1, kRed,
         Colors{kGrey, kGrey, kYellow, kGreen, kCyan, kBlue, kMagenta, kBlack}},
        {"only the first of duplicates leaves",
         {{L"ColorHistory", REG_BINARY, {kRed, kBlue, kRed, kGreen, kRed, kCyan, kBlack, kRed}}},
         {SelectColor(kRed)}, Ending::Ok, 1, kRed,
         Colors{kWhite, kBlue, kRed, kGreen, kRed, kCyan, kBlack, kRed}},
        {"a short stored history keeps the default tail",
         {{L"ColorHistory", REG_BINARY, {0x010101, 0x020202, 0x030303}}}, {}, Ending::Ok, 1, kWhite,
         Colors{0x010101, 0x020202, 0x030303, kGreen, kCyan, kBlue, kMagenta, kBlack}},
        {"a malformed colour is white", {{L"Color", REG_BINARY, {0x00123456}}}, {}, Ending::Ok, 1,
         kWhite, kDefaultHistory},
        {"remove still saves colour and history", {},
         {ClickOn(IDC_HISTORY_3), ClickOn(IDC_ALPHA_REMOVE)}, Ending::Ok, 0, kYellow, kAfterYellow},
        {"remove and back keeps colour and history", {},
         {ClickOn(IDC_HISTORY_3), ClickOn(IDC_ALPHA_REMOVE), ClickOn(IDC_ALPHA_COMPOSITE)},
         Ending::Ok, 1, kYellow, kAfterYellow},
        {"Cancel writes nothing",
         {{L"Alpha", REG_DWORD, {1}}, {L"Color", REG_DWORD, {0x00123456}}},
         {ClickOn(IDC_HISTORY_3), SelectColor(kOrange), ClickOn(IDC_ALPHA_REMOVE)},
         Ending::Cancel, 1, 0x00123456, std::nullopt},
        {"the close box writes nothing", {}, {ClickOn(IDC_HISTORY_3)}, Ending::CloseBox,
         std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::DeleteSettingsKey();
        for (const Stored& s : c.stored) {
            test::SetSettingsValue(s.name, s.type, s.data.data(),
                                   static_cast<DWORD>(s.data.size() * 4));
        }
        const int result = RunSettingsDialog([&](const Driver& d) {
            for (const Step& step : c.steps) {
                if (step.kind == Step::Click) d.Click(static_cast<int>(step.value));
                if (step.kind == Step::Select) d.Select(step.value);
            }
            switch (c.ending) {
            case Ending::Ok: d.Click(IDOK); break;
            case Ending::Cancel: d.Click(IDCANCEL); break;
            case Ending::CloseBox: PostMessageW(d.dialog(), WM_CLOSE, 0, 0); break;
            }
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(StoredDword(L"Alpha"), c.alpha);
        EXPECT_EQ(StoredDword(L"Color"), c.color);
        EXPECT_EQ(StoredColors(L"ColorHistory"), c.history);
        EXPECT_FALSE(StoredColors(L"CustomColors").has_value()) << "the chooser was not used";
    }
}

TEST_F(SettingsDialog, OnlyANewColourRepaintsTheSwatches) {
    const struct {
        const char* label;
        COLORREF color;
        unsigned invalid;  // bit per kSwatches entry
    } kCases[] = {
        {"the current colour", kWhite, 0},
        {"a colour of the history", kRed, 0x1FF},
        {"a new colour", kOrange, 0x1FF},
    };
    const int result = RunSettingsDialog([&](const Driver& d) {
        for (const auto& c : kCases) {
            SCOPED_TRACE(c.label);
            g_watch.leftInvalid = ~0u;
            d.Select(c.color);
            EXPECT_EQ(g_watch.leftInvalid.load(), c.invalid);
        }
        d.Click(IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredDword(L"Color"), kOrange);
    EXPECT_EQ(StoredColors(L"ColorHistory"),
              (Colors{kRed, kWhite, kGrey, kYellow, kGreen, kCyan, kBlue, kMagenta}));
}

// The system colour chooser is driven as a user would: a click on the orange cell of its basic
// colours, "add to custom colours", OK.
TEST_F(SettingsDialog, ColourChooserSelectsAndKeepsCustomColours) {
    test::SetSettingsDword(L"Color", 0x00204060);
    Colors custom(16);
    for (size_t i = 0; i < custom.size(); ++i) {
        custom[i] = 0x00010101 * static_cast<COLORREF>(i + 1);
    }
    StoreColors(L"CustomColors", custom);

    const int result = RunSettingsDialog([&](const Driver& d) {
        const HWND chooser = d.OpenChooser();
        ASSERT_NE(chooser, nullptr) << "no colour chooser";
        // Opened on the current colour (red, green, blue fields), in its basic form.
        EXPECT_EQ(GetDlgItemInt(chooser, 706, nullptr, FALSE), 0x60u);
        EXPECT_EQ(GetDlgItemInt(chooser, 707, nullptr, FALSE), 0x40u);
        EXPECT_EQ(GetDlgItemInt(chooser, 708, nullptr, FALSE), 0x20u);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(chooser, 706)));

        // Orange is row 4, column 2 of the 6 x 8 basic colours (control 0x2D0).
        RECT cells;
        GetWindowRect(GetDlgItem(chooser, 0x2D0), &cells);
        POINT at{cells.left + (cells.right - cells.left) / 8 * 1 + 2,
                 cells.top + (cells.bottom - cells.top) / 6 * 3 + 2};
        ScreenToClient(chooser, &at);
        d.Send(chooser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        d.Send(chooser, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        d.Send(chooser, WM_COMMAND, 0x2C8, 0);  // add to custom colours: the first slot
        ASSERT_TRUE(d.CloseChooser(chooser, IDOK));
        d.Click(IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredDword(L"Color"), kOrange);
    EXPECT_EQ(StoredColors(L"ColorHistory"),
              (Colors{0x00204060, kGrey, kRed, kYellow, kGreen, kCyan, kBlue, kMagenta}));
    Colors expected = custom;
    expected[0] = kOrange;
    EXPECT_EQ(StoredColors(L"CustomColors"), expected);
}

TEST_F(SettingsDialog, CustomColoursAreSavedEvenWhenEverythingIsCancelled) {
    const struct {
        const char* label;
        Colors stored;  // empty: no value
        Colors saved;
    } kCases[] = {
        {"none stored", {}, Colors(16, kWhite)},
        {"25 stored", Colors(25, 0x00ABCDEF), Colors(16, 0x00ABCDEF)},
        {"3 stored", Colors(3, 0x00ABCDEF),
         [] {
             Colors c(16, kWhite);
             c[0] = c[1] = c[2] = 0x00ABCDEF;
             return c;
         }()},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::DeleteSettingsKey();
        if (!c.stored.empty()) StoreColors(L"CustomColors", c.stored);
        const int result = RunSettingsDialog([&](const Driver& d) {
            d.Click(IDC_HISTORY_2);
            ASSERT_TRUE(d.CancelChooser());
            d.Click(IDCANCEL);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(StoredColors(L"CustomColors"), c.saved);
        EXPECT_FALSE(StoredDword(L"Alpha").has_value());
        EXPECT_FALSE(StoredDword(L"Color").has_value());
        EXPECT_FALSE(StoredColors(L"ColorHistory").has_value());
    }
}

// RegCreateKeyEx cannot make a lasting key under a volatile one, so the settings key cannot
// be opened for writing while its parent is volatile.
class UnwritableSettingsKey : public SettingsDialog {
protected:
    void SetUp() override {
        SORVANE_REQUIRE_DESKTOP();
        RegDeleteTreeW(HKEY_CURRENT_USER, parent_.c_str());
        HKEY parent = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, parent_.c_str(), 0, nullptr,
                                  REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(parent);
        HKEY key = nullptr;
        ASSERT_NE(RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << "the settings key is writable after all";
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, parent_.c_str()); }
    // The key above the settings key.
    const std::wstring parent_ = std::wstring(kKeyPath).substr(0, std::wstring(kKeyPath).rfind(L'\\'));
};

TEST_F(UnwritableSettingsKey, OkEndsTheDialogWithAnInternalError) {
    const int result = RunSettingsDialog([&](const Driver& d) {
        d.Click(IDC_HISTORY_3);
        // The chooser's custom colours cannot be saved either; that passes silently.
        ASSERT_TRUE(d.CancelChooser());
        d.Click(IDOK);
    });
    EXPECT_EQ(result, 8);
    EXPECT_FALSE(SettingsKeyExists());
}

// Swatches drawn through WM_DRAWITEM into a bitmap of the test's own.
class SwatchBitmap {
public:
    static constexpr int kWidth = 20, kHeight = 24;
    static constexpr COLORREF kBackground = 0x00123456;

    SwatchBitmap() {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_),
                                   nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~SwatchBitmap() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    SwatchBitmap(const SwatchBitmap&) = delete;
    SwatchBitmap& operator=(const SwatchBitmap&) = delete;

    // The pixels after the dialog drew control `id` with `state` over the background.
    std::vector<COLORREF> Draw(const Driver& d, UINT id, UINT state) {
        GdiFlush();
        for (int i = 0; i < kWidth * kHeight; ++i) pixels_[i] = ToDib(kBackground);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = id;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = d.Item(static_cast<int>(id));
        item.hDC = dc_;
        item.rcItem = {0, 0, kWidth, kHeight};
        d.Send(d.dialog(), WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
        GdiFlush();
        std::vector<COLORREF> colors(kWidth * kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) colors[i] = FromDib(pixels_[i]);
        return colors;
    }

private:
    static uint32_t ToDib(COLORREF c) {
        return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
    }
    static COLORREF FromDib(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* pixels_ = nullptr;
};

TEST_F(SettingsDialog, DrawsSwatchesFilledFramedAndWithAFocusMark) {
    test::SetSettingsDword(L"Color", 0x00204060);
    test::SetSettingsDword(L"Alpha", 0);  // swatches disabled: they still show their colours
    const COLORREF frame = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF text = GetSysColor(COLOR_BTNTEXT);
    constexpr int W = SwatchBitmap::kWidth, H = SwatchBitmap::kHeight;
    auto onFrame = [](int x, int y) { return x == 0 || y == 0 || x == W - 1 || y == H - 1; };
    auto onMark = [](int x, int y) {
        const bool across = (y == 3 || y == H - 4) && x >= 3 && x <= W - 4;
        const bool down = (x == 3 || x == W - 4) && y >= 3 && y <= H - 4;
        return across || down;
    };

    const int result = RunSettingsDialog([&](const Driver& d) {
        SwatchBitmap bitmap;
        const struct {
            UINT id;
            COLORREF fill;  // kBackground: not filled
        } kControls[] = {
            {IDC_CURRENT_COLOR, 0x00204060}, {IDC_HISTORY_1, kGrey},  {IDC_HISTORY_4, kGreen},
            {IDC_HISTORY_7, kMagenta},       {IDOK, SwatchBitmap::kBackground},
        };
        for (const auto& c : kControls) {
            SCOPED_TRACE(testing::Message() << "control " << c.id);
            const auto plain = bitmap.Draw(d, c.id, 0);
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    const bool filled = c.fill != SwatchBitmap::kBackground;
                    const COLORREF expected = filled && onFrame(x, y) ? frame : c.fill;
                    ASSERT_EQ(plain[y * W + x], expected) << "at " << x << ", " << y;
                }
            }
            EXPECT_EQ(bitmap.Draw(d, c.id, ODS_DISABLED), plain);
            EXPECT_EQ(bitmap.Draw(d, c.id, ODS_SELECTED), plain);
            EXPECT_EQ(bitmap.Draw(d, c.id, ODS_DISABLED | ODS_SELECTED | ODS_DEFAULT), plain);

            // The dotted mark: only pixels of the inset rectangle change, its corner first.
            const auto focused = bitmap.Draw(d, c.id, ODS_FOCUS);
            int marked = 0, gaps = 0;
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    const bool changed = focused[y * W + x] != plain[y * W + x];
                    if (!onMark(x, y)) {
                        EXPECT_FALSE(changed) << "at " << x << ", " << y;
                    } else if (focused[y * W + x] == text) {
                        ++marked;
                    } else {
                        ++gaps;
                    }
                }
            }
            EXPECT_EQ(focused[3 * W + 3], text);
            EXPECT_GT(marked, 8);
            EXPECT_GT(gaps, 0) << "the mark is not dotted";
        }
        // No DRAWITEMSTRUCT: nothing to draw, and nothing to crash on.
        d.Send(d.dialog(), WM_DRAWITEM, IDC_HISTORY_1, 0);
        EXPECT_TRUE(IsWindow(d.dialog()));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
}

TEST_F(SettingsDialog, RepaintingLeavesNoGdiObjectsBehind) {
    const int result = RunSettingsDialog([&](const Driver& d) {
        // A focused swatch draws its mark with a pen of its own.
        d.Send(d.dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.Item(IDC_HISTORY_2)), TRUE);
        auto repaint = [&] {
            const int before = g_watch.draws;
            for (int id : kSwatches) InvalidateRect(d.Item(id), nullptr, FALSE);
            const int count = static_cast<int>(std::size(kSwatches));
            return WaitUntil([&] { return g_watch.draws - before >= count; });
        };
        auto idleCount = [&] {
            EXPECT_TRUE(d.WaitPainted());
            g_watch.gdiBetweenMessages = 0;
            d.Send(d.dialog(), kCountGdiMessage, 0, 0);
            return g_watch.gdiBetweenMessages.load();
        };
        ASSERT_TRUE(repaint()) << "the swatches were not repainted";
        const size_t before = idleCount();
        ASSERT_GT(before, 0u);
        g_watch.gdiLeftOver = 0;
        g_watch.countGdi = true;
        const int drawsBefore = g_watch.draws;
        for (int i = 0; i < 100; ++i) ASSERT_TRUE(repaint()) << "round " << i;
        g_watch.countGdi = false;
        EXPECT_GE(g_watch.draws - drawsBefore, 900);
        EXPECT_EQ(g_watch.gdiLeftOver.load(), 0);
        EXPECT_EQ(idleCount(), before);
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
}

// The view check boxes, in the order of the values they stand for: Backdrop, Channel, NormalZ,
// Bits; then Reader and ToneMap.
constexpr int kViewBoxes[] = {IDC_VIEW_CHECKERBOARD, IDC_VIEW_ALPHA_CHANNEL, IDC_VIEW_NORMAL_Z,
                              IDC_VIEW_32_BITS,      IDC_READER,             IDC_TONE_MAP};

using StoredDwords = std::vector<std::pair<const wchar_t*, DWORD>>;

std::wstring ExposureShown(const Driver& d) { return TextOf(d.Item(IDC_EXPOSURE_VALUE)); }

TEST_F(SettingsDialog, OpensWithTheStoredViews) {
    const struct {
        const char* label;
        StoredDwords stored;
        bool checked[6];  // in the order of kViewBoxes
        int layout;
        int exposure = 0;  // the scroll bar's position
        const wchar_t* exposureText = L"0.0 段";
    } kCases[] = {
        {"nothing stored", {}, {}, 0},
        {"every view",
         {{L"Backdrop", 1}, {L"Channel", 1}, {L"NormalZ", 1}, {L"Bits", 32}, {L"Layout", 2}, {L"Reader", 1},
          {L"ToneMap", 1}, {L"Exposure", 0xFFFFFFE7}},
         {true, true, true, true, true, true}, 2, -25, L"-2.5 段"},
        {"Layout 1", {{L"Layout", 1}}, {}, 1},
        {"numbers no view knows",
         {{L"Backdrop", 2}, {L"Channel", 0xFFFFFFFF}, {L"NormalZ", 7}, {L"Bits", 24}, {L"Layout", 3},
          {L"Reader", 2}, {L"ToneMap", 0xFFFFFFFF}, {L"Exposure", 101}},
         {}, 0},
        {"checkerboard while removing", {{L"Alpha", 0}, {L"Backdrop", 1}}, {true}, 0},
        {"the highest exposure without ToneMap", {{L"Exposure", 100}}, {}, 0, 100, L"+10.0 段"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::DeleteSettingsKey();
        for (const auto& [name, value] : c.stored) test::SetSettingsDword(name, value);
        const int result = RunSettingsDialog([&](const Driver& d) {
            for (size_t i = 0; i < std::size(kViewBoxes); ++i) {
                EXPECT_EQ(d.Checked(kViewBoxes[i]), c.checked[i]) << "box " << kViewBoxes[i];
                EXPECT_TRUE(IsWindowVisible(d.Item(kViewBoxes[i]))) << "box " << kViewBoxes[i];
            }
            const HWND list = d.Item(IDC_VIEW_LAYOUT);
            EXPECT_TRUE(IsWindowVisible(list));
            EXPECT_EQ(d.Send(list, CB_GETCURSEL, 0, 0), c.layout);
            const wchar_t* kEntries[] = {L"最初の画像", L"すべての面・要素・スライス", L"ミップマップ"};
            ASSERT_EQ(d.Send(list, CB_GETCOUNT, 0, 0), 3);
            for (int i = 0; i < 3; ++i) {
                wchar_t text[64] = {};
                d.Send(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
                EXPECT_EQ(std::wstring(text), kEntries[i]) << "entry " << i;
            }
            EXPECT_EQ(GetScrollPos(d.Item(IDC_EXPOSURE), SB_CTL), c.exposure);
            EXPECT_EQ(ExposureShown(d), c.exposureText);
            // The exposure is set only while tone mapping is on.
            const bool toneMap = c.checked[5];
            EXPECT_EQ(d.Enabled(IDC_EXPOSURE), toneMap);
            EXPECT_EQ(d.Enabled(IDC_EXPOSURE_VALUE), toneMap);
            d.Click(IDC_TONE_MAP);
            EXPECT_EQ(d.Enabled(IDC_EXPOSURE), !toneMap);
            // The checkerboard stands in for the colour, so it goes with the colour controls.
            const bool removing = d.Checked(IDC_ALPHA_REMOVE);
            EXPECT_EQ(d.Enabled(IDC_VIEW_CHECKERBOARD), !removing);
            d.Click(removing ? IDC_ALPHA_COMPOSITE : IDC_ALPHA_REMOVE);
            EXPECT_EQ(d.Enabled(IDC_VIEW_CHECKERBOARD), removing);
            for (int id : {IDC_VIEW_ALPHA_CHANNEL, IDC_VIEW_NORMAL_Z, IDC_VIEW_32_BITS, IDC_VIEW_LAYOUT, IDC_READER,
                           IDC_TONE_MAP}) {
                EXPECT_TRUE(d.Enabled(id)) << "control " << id;
            }
            d.Click(IDCANCEL);
        });
        EXPECT_EQ(result, 0);
    }
}

// Keys go to the focused scroll bar, which scrolls as its own keyboard handling says.
TEST_F(SettingsDialog, ExposureMovesInTenthsAndStopsAndShowsItsValue) {
    test::SetSettingsDword(L"ToneMap", 1);
    const struct {
        UINT key;        // 0: the thumb dragged to `thumb`
        int thumb = 0;
        const wchar_t* shown;
    } kSteps[] = {
        {VK_RIGHT, 0, L"+0.1 段"}, {VK_NEXT, 0, L"+1.1 段"},  {VK_LEFT, 0, L"+1.0 段"},
        {VK_PRIOR, 0, L"0.0 段"},  {VK_PRIOR, 0, L"-1.0 段"}, {VK_HOME, 0, L"-10.0 段"},
        {VK_LEFT, 0, L"-10.0 段"}, {VK_END, 0, L"+10.0 段"},  {VK_RIGHT, 0, L"+10.0 段"},
        {VK_PRIOR, 0, L"+9.0 段"}, {0, -37, L"-3.7 段"},
    };
    const int result = RunSettingsDialog([&](const Driver& d) {
        const HWND bar = d.Item(IDC_EXPOSURE);
        d.Send(d.dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(bar), TRUE);
        for (const auto& step : kSteps) {
            SCOPED_TRACE(testing::Message() << "key " << step.key << " thumb " << step.thumb);
            if (step.key != 0) {
                d.Send(bar, WM_KEYDOWN, step.key, 0);
            } else {
                d.Send(d.dialog(), WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, static_cast<WORD>(step.thumb)),
                       reinterpret_cast<LPARAM>(bar));
            }
            EXPECT_EQ(ExposureShown(d), step.shown);
        }
        d.Click(IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(StoredDword(L"Exposure"), static_cast<DWORD>(-37));
}

TEST_F(SettingsDialog, SavesOnlyTheViewsTheUserChanged) {
    // A click on a control, with `layout` set an entry chosen in the layout list, or with `key`
    // a key pressed on the exposure's scroll bar.
    struct ViewStep {
        int id;
        int layout = -1;
        UINT key = 0;
    };
    auto everyBoxAnd = [](int layout) {
        std::vector<ViewStep> steps;
        for (const int id : kViewBoxes) steps.push_back({id});
        steps.push_back({IDC_VIEW_LAYOUT, layout});
        return steps;
    };
    using Stored = std::optional<DWORD>;
    const StoredDwords kEveryView = {{L"Backdrop", 1}, {L"Channel", 1}, {L"NormalZ", 1}, {L"Bits", 32},
                                     {L"Layout", 2},   {L"Reader", 1},  {L"ToneMap", 1}, {L"Exposure", 5}};
    const struct {
        const char* label;
        StoredDwords stored;
        std::vector<ViewStep> steps;
        Ending ending;
        // Backdrop, Channel, NormalZ, Bits, Layout, Reader, ToneMap, Exposure; nullopt: absent
        Stored expected[8];
    } kCases[] = {
        {"untouched", {}, {}, Ending::Ok, {}},
        {"every view set", {}, everyBoxAnd(2), Ending::Ok, {1, 1, 1, 32, 2, 1, 1}},
        {"every view cleared", kEveryView, everyBoxAnd(0), Ending::Ok, {0, 0, 0, 0, 0, 0, 0, 5}},
        {"set and back again", {},
         {{IDC_VIEW_CHECKERBOARD}, {IDC_VIEW_CHECKERBOARD}, {IDC_VIEW_LAYOUT, 1}, {IDC_VIEW_LAYOUT, 0}},
         Ending::Ok, {}},
        {"numbers no view knows stay", {{L"Backdrop", 2}, {L"Bits", 24}, {L"Layout", 3}}, {}, Ending::Ok,
         {2, {}, {}, 24, 3}},
        {"unless changed", {{L"Backdrop", 2}, {L"Bits", 24}, {L"Layout", 3}},
         {{IDC_VIEW_32_BITS}, {IDC_VIEW_LAYOUT, 1}}, Ending::Ok, {2, {}, {}, 32, 1}},
        {"the mip chain alone", {}, {{IDC_VIEW_LAYOUT, 2}}, Ending::Ok, {{}, {}, {}, {}, 2}},
        {"the reader alone", {}, {{IDC_READER}}, Ending::Ok, {{}, {}, {}, {}, {}, 1}},
        {"exposure there and back", {{L"ToneMap", 1}},
         {{IDC_EXPOSURE, -1, VK_NEXT}, {IDC_EXPOSURE, -1, VK_LEFT}, {IDC_EXPOSURE, -1, VK_PRIOR},
          {IDC_EXPOSURE, -1, VK_RIGHT}},
         Ending::Ok, {{}, {}, {}, {}, {}, {}, 1}},
        {"Reader, ToneMap and Exposure no view knows stay",
         {{L"Reader", 2}, {L"ToneMap", 7}, {L"Exposure", 0x7FFFFFFF}}, {}, Ending::Ok,
         {{}, {}, {}, {}, {}, 2, 7, 0x7FFFFFFF}},
        {"unless changed, as 0 to +0.1", {{L"ToneMap", 7}, {L"Exposure", 0x7FFFFFFF}},
         {{IDC_TONE_MAP, -1}, {IDC_EXPOSURE, -1, VK_RIGHT}}, Ending::Ok, {{}, {}, {}, {}, {}, {}, 1, 1}},
        {"Cancel", {}, everyBoxAnd(1), Ending::Cancel, {}},
        {"the close box", kEveryView, everyBoxAnd(0), Ending::CloseBox, {1, 1, 1, 32, 2, 1, 1, 5}},
    };
    const wchar_t* kNames[] = {L"Backdrop", L"Channel", L"NormalZ", L"Bits", L"Layout", L"Reader", L"ToneMap",
                               L"Exposure"};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::DeleteSettingsKey();
        for (const auto& [name, value] : c.stored) test::SetSettingsDword(name, value);
        const int result = RunSettingsDialog([&](const Driver& d) {
            for (const ViewStep& step : c.steps) {
                if (step.key != 0) {
                    d.Send(d.Item(step.id), WM_KEYDOWN, step.key, 0);
                    continue;
                }
                if (step.layout < 0) {
                    d.Click(step.id);
                    continue;
                }
                // As the list does when the user picks an entry: select, then notify.
                const HWND list = d.Item(IDC_VIEW_LAYOUT);
                d.Send(list, CB_SETCURSEL, step.layout, 0);
                d.Send(d.dialog(), WM_COMMAND, MAKEWPARAM(IDC_VIEW_LAYOUT, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
            }
            switch (c.ending) {
            case Ending::Ok: d.Click(IDOK); break;
            case Ending::Cancel: d.Click(IDCANCEL); break;
            case Ending::CloseBox: PostMessageW(d.dialog(), WM_CLOSE, 0, 0); break;
            }
        });
        EXPECT_EQ(result, 0);
        for (size_t i = 0; i < std::size(kNames); ++i) {
            EXPECT_EQ(StoredDword(kNames[i]), c.expected[i]) << "value " << i;
        }
        // OK still saves what it always saved.
        EXPECT_EQ(StoredDword(L"Alpha").has_value(), c.ending == Ending::Ok);
    }
}

// Not a test: scripts/settings-screenshot.sh runs it to hold the dialog open, as it starts,
// while the X display is photographed. It prints the dialog's screen rectangle and waits for the
// file named by SORVANE_SCREENSHOT_TAKEN.
TEST_F(SettingsDialog, DISABLED_HoldOpenForScreenshot) {
    const char* taken = std::getenv("SORVANE_SCREENSHOT_TAKEN");
    ASSERT_NE(taken, nullptr);
    const int result = RunSettingsDialog([&](const Driver& d) {
        ASSERT_TRUE(d.WaitPainted());
        RECT r;
        GetWindowRect(d.dialog(), &r);
        std::printf("dialog at %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                    r.bottom - r.top);
        std::fflush(stdout);
        auto photographed = [&] { return GetFileAttributesA(taken) != INVALID_FILE_ATTRIBUTES; };
        EXPECT_TRUE(WaitUntil(photographed, 60000)) << "no screenshot was taken";
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace sorvane

#include "SettingsDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "Holders.h"
#include "Module.h"
#include "PluginIdentity.h"
#include "SettingsStore.h"
#include "resource.h"

namespace sorvane {

namespace {

// The view controls, one per stored value, and the reader and HDR controls beside them. A
// check box stands for `on` when checked and 0 when not; the layout list for the index of its
// entry; the exposure's scroll bar for its position, stored as two's complement.
struct ViewControl {
    enum Kind { CheckBox, LayoutList, Exposure } kind;
    int id;
    const wchar_t* value;
    DWORD on = 0;  // CheckBox only
};
constexpr ViewControl kViewControls[] = {
    {ViewControl::CheckBox, IDC_VIEW_CHECKERBOARD, kBackdropValue, static_cast<DWORD>(Backdrop::Checkerboard)},
    {ViewControl::CheckBox, IDC_VIEW_ALPHA_CHANNEL, kChannelValue, static_cast<DWORD>(ChannelView::Alpha)},
    {ViewControl::CheckBox, IDC_VIEW_NORMAL_Z, kNormalZValue, 1},
    {ViewControl::CheckBox, IDC_VIEW_32_BITS, kBitsValue, 32},
    {ViewControl::LayoutList, IDC_VIEW_LAYOUT, kLayoutValue},
    {ViewControl::CheckBox, IDC_READER, kReaderValue, 1},
    {ViewControl::CheckBox, IDC_TONE_MAP, kToneMapValue, 1},
    {ViewControl::Exposure, IDC_EXPOSURE, kExposureValue},
};
constexpr int kLayoutNames[] = {IDS_LAYOUT_FIRST_IMAGE, IDS_LAYOUT_EVERY_IMAGE, IDS_LAYOUT_MIP_CHAIN};

// One per open dialog, from WM_INITDIALOG to WM_DESTROY, in the window's user-data slot. The
// alpha disposal and the views are not kept here: they live in their controls until OK reads
// them.
struct SettingsDialogState {
    std::wstring keyPath;  // every registry access of the dialog opens this key
    COLORREF currentColor = kWhite;
    // Entry 0 is the colour that was current most recently before the present one.
    std::array<COLORREF, kColorHistorySize> colorHistory{};
    // What the view controls showed at the start: OK stores only a view the user changed, so
    // a number the dialog cannot show stays as it is.
    std::array<DWORD, std::size(kViewControls)> viewsShown{};
};

static_assert(sizeof(CHOOSECOLORW) == (sizeof(void*) == 8 ? 72 : 36));

SettingsDialogState* StateOf(HWND dialog) noexcept {
#if defined(_WIN64)
    return reinterpret_cast<SettingsDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
#else
    return reinterpret_cast<SettingsDialogState*>(GetWindowLongW(dialog, GWL_USERDATA));
#endif
}

void AttachState(HWND dialog, SettingsDialogState* state) noexcept {
#if defined(_WIN64)
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
#else
    SetWindowLongW(dialog, GWL_USERDATA, reinterpret_cast<LONG>(state));
#endif
}

bool IsHistorySwatch(UINT id) noexcept { return id >= IDC_HISTORY_1 && id <= IDC_HISTORY_8; }

DWORD ReadView(const RegKey& key, const ViewControl& view) noexcept {
    switch (view.kind) {
    case ViewControl::CheckBox: return ReadViewValue(key, view.value, {view.on});
    case ViewControl::LayoutList:
        return ReadViewValue(key, view.value,
                             {static_cast<DWORD>(PictureLayout::EveryImage), static_cast<DWORD>(PictureLayout::MipChain)});
    case ViewControl::Exposure: return static_cast<DWORD>(ReadExposureValue(key));
    }
    return 0;
}

// The exposure in stops with one decimal and its sign, "+1.5 段", "0.0 段", "-10.0 段". Built
// by hand: the runtime's number formatting would follow the locale's decimal mark.
void ShowExposure(HWND dialog, int tenths) noexcept {
    wchar_t text[16] = {};
    wchar_t* out = text;
    if (tenths != 0) *out++ = tenths < 0 ? L'-' : L'+';
    const int magnitude = tenths < 0 ? -tenths : tenths;
    if (magnitude >= 100) *out++ = static_cast<wchar_t>(L'0' + magnitude / 100);
    *out++ = static_cast<wchar_t>(L'0' + magnitude / 10 % 10);
    *out++ = L'.';
    *out++ = static_cast<wchar_t>(L'0' + magnitude % 10);
    const wchar_t unit[] = L" 段";
    std::copy(std::begin(unit), std::end(unit), out);
    SetDlgItemTextW(dialog, IDC_EXPOSURE_VALUE, text);
}

void SetExposure(HWND dialog, int tenths) noexcept {
    tenths = std::clamp(tenths, PluginSettings::kMinExposure, PluginSettings::kMaxExposure);
    SetScrollPos(GetDlgItem(dialog, IDC_EXPOSURE), SB_CTL, tenths, TRUE);
    ShowExposure(dialog, tenths);
}

int ShownExposure(HWND dialog) noexcept { return GetScrollPos(GetDlgItem(dialog, IDC_EXPOSURE), SB_CTL); }

void ShowView(HWND dialog, const ViewControl& view, DWORD value) noexcept {
    switch (view.kind) {
    case ViewControl::CheckBox:
        CheckDlgButton(dialog, view.id, value == view.on ? BST_CHECKED : BST_UNCHECKED);
        break;
    case ViewControl::LayoutList: SendDlgItemMessageW(dialog, view.id, CB_SETCURSEL, value, 0); break;
    case ViewControl::Exposure:
        SetScrollRange(GetDlgItem(dialog, view.id), SB_CTL, PluginSettings::kMinExposure,
                       PluginSettings::kMaxExposure, FALSE);
        SetExposure(dialog, static_cast<int32_t>(value));
        break;
    }
}

DWORD ShownView(HWND dialog, const ViewControl& view) noexcept {
    switch (view.kind) {
    case ViewControl::CheckBox: return IsDlgButtonChecked(dialog, view.id) == BST_CHECKED ? view.on : 0;
    case ViewControl::LayoutList: {
        const LRESULT selected = SendDlgItemMessageW(dialog, view.id, CB_GETCURSEL, 0, 0);
        return selected > 0 && selected < static_cast<LRESULT>(std::size(kLayoutNames)) ? static_cast<DWORD>(selected)
                                                                                         : 0;
    }
    case ViewControl::Exposure: return static_cast<DWORD>(ShownExposure(dialog));
    }
    return 0;
}

// The exposure acts only on tone-mapped pictures, so it is set only while tone mapping is on.
void EnableExposure(HWND dialog) noexcept {
    const bool enable = IsDlgButtonChecked(dialog, IDC_TONE_MAP) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_EXPOSURE), enable);
    EnableWindow(GetDlgItem(dialog, IDC_EXPOSURE_VALUE), enable);
}

// The scroll bar's arrows and keys move a tenth of a stop, its trough and Page Up/Down a
// whole stop; Home and End go to the ends.
INT_PTR OnExposureScroll(HWND dialog, WPARAM wParam, LPARAM lParam) noexcept {
    if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_EXPOSURE)) return FALSE;
    const int shown = ShownExposure(dialog);
    switch (LOWORD(wParam)) {
    case SB_LINELEFT: SetExposure(dialog, shown - 1); break;
    case SB_LINERIGHT: SetExposure(dialog, shown + 1); break;
    case SB_PAGELEFT: SetExposure(dialog, shown - 10); break;
    case SB_PAGERIGHT: SetExposure(dialog, shown + 10); break;
    case SB_LEFT: SetExposure(dialog, PluginSettings::kMinExposure); break;
    case SB_RIGHT: SetExposure(dialog, PluginSettings::kMaxExposure); break;
    // The range fits the message's 16 bits of position, which are signed here.
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: SetExposure(dialog, static_cast<short>(HIWORD(wParam))); break;
    default: break;
    }
    return TRUE;
}

void FillLayoutList(HWND dialog) noexcept {
    for (const int name : kLayoutNames) {
        wchar_t text[64] = {};
        LoadStringW(ModuleInstance(), name, text, static_cast<int>(std::size(text)));
        SendDlgItemMessageW(dialog, IDC_VIEW_LAYOUT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

INT_PTR OnInitDialog(HWND dialog) noexcept {
    std::unique_ptr<SettingsDialogState> created;
    try {
        created.reset(new SettingsDialogState{SettingsKeyPath, kWhite, {}});
    } catch (...) {
        // Without its state the dialog could neither save nor be closed: end it at once.
        EndDialog(dialog, -1);
        return FALSE;
    }
    std::copy(std::begin(kDefaultColorHistory), std::end(kDefaultColorHistory),
              created->colorHistory.begin());
    SettingsDialogState& state = *created;
    AttachState(dialog, created.release());

    int disposalButton = IDC_ALPHA_COMPOSITE;
    {
        const RegKey key = OpenKeyForRead(state.keyPath.c_str());
        ReadColorArray(key, kColorHistoryValue, state.colorHistory.data(),
                       state.colorHistory.size());
        if (!ReadDwordValue(key, kColorValue, state.currentColor)) state.currentColor = kWhite;
        // Only a stored 0 means Remove here; any other number shows Composite, and OK then
        // stores 1.
        DWORD alpha = 1;
        if (ReadDwordValue(key, kAlphaValue, alpha) && alpha == 0) {
            disposalButton = IDC_ALPHA_REMOVE;
        }
        for (size_t i = 0; i < std::size(kViewControls); ++i) state.viewsShown[i] = ReadView(key, kViewControls[i]);
    }
    FillLayoutList(dialog);
    for (size_t i = 0; i < std::size(kViewControls); ++i) ShowView(dialog, kViewControls[i], state.viewsShown[i]);
    EnableExposure(dialog);
    CheckRadioButton(dialog, IDC_ALPHA_REMOVE, IDC_ALPHA_COMPOSITE, disposalButton);
    // The radio-button handling enables or disables the colour controls.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(disposalButton, 0), 0);
    ShowWindow(GetDlgItem(dialog, IDC_USE_EXIF_ORIENTATION), SW_HIDE);
    SetWindowTextW(dialog, kDisplayName);
    return TRUE;  // the system gives the focus to the first control that takes it
}

INT_PTR SaveAndClose(HWND dialog, const SettingsDialogState& state) noexcept {
    {
        const RegKey key = OpenKeyForWrite(state.keyPath.c_str());
        if (!key) {
            EndDialog(dialog, -1);
            return FALSE;
        }
        WriteBinaryValue(key, kColorHistoryValue, state.colorHistory.data(),
                         static_cast<DWORD>(sizeof state.colorHistory));
        WriteDwordValue(key, kColorValue, state.currentColor);
        const bool remove = IsDlgButtonChecked(dialog, IDC_ALPHA_REMOVE) == BST_CHECKED;
        WriteDwordValue(key, kAlphaValue, static_cast<DWORD>(remove ? AlphaDisposal::Remove
                                                                    : AlphaDisposal::Composite));
        for (size_t i = 0; i < std::size(kViewControls); ++i) {
            const DWORD shown = ShownView(dialog, kViewControls[i]);
            if (shown != state.viewsShown[i]) WriteDwordValue(key, kViewControls[i].value, shown);
        }
    }
    EndDialog(dialog, IDOK);
    return TRUE;
}

// The colour controls, and the checkerboard that can stand in for the colour, serve Composite
// only. The current swatch stays disabled: it only shows.
void EnableColorChoice(HWND dialog, bool enable) noexcept {
    EnableWindow(GetDlgItem(dialog, IDC_CHOOSE_COLOR), enable);
    for (int id = IDC_HISTORY_1; id <= IDC_HISTORY_8; ++id) {
        EnableWindow(GetDlgItem(dialog, id), enable);
    }
    EnableWindow(GetDlgItem(dialog, IDC_VIEW_CHECKERBOARD), enable);
}

// The system colour chooser, opened on the current colour. Its custom colours live only in the
// registry: read before and written after every use, whether the chooser was confirmed or not.
void ChooseCompositeColor(HWND dialog, const SettingsDialogState& state) noexcept {
    // The chooser runs a modal loop in which the dialog could be destroyed with its state; what
    // is needed afterwards is copied first.
    std::wstring keyPath;
    try {
        keyPath = state.keyPath;
    } catch (...) {
        return;
    }
    COLORREF customColors[kCustomColorCount];
    std::fill(std::begin(customColors), std::end(customColors), kWhite);
    {
        const RegKey key = OpenKeyForRead(keyPath.c_str());
        ReadColorArray(key, kCustomColorsValue, customColors, kCustomColorCount);
    }
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.rgbResult = state.currentColor;
    choice.lpCustColors = customColors;
    choice.Flags = CC_RGBINIT;
    if (ChooseColorW(&choice)) SendMessageW(dialog, UM_SELECTCOLOR, choice.rgbResult, 0);

    const RegKey key = OpenKeyForWrite(keyPath.c_str());
    if (key) WriteBinaryValue(key, kCustomColorsValue, customColors, sizeof customColors);
}

INT_PTR OnCommand(HWND dialog, const SettingsDialogState& state, WPARAM wParam) noexcept {
    if (HIWORD(wParam) != 0) return FALSE;
    const UINT id = LOWORD(wParam);
    switch (id) {
    case IDOK: return SaveAndClose(dialog, state);
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
    case IDC_ALPHA_REMOVE:
    case IDC_ALPHA_COMPOSITE: EnableColorChoice(dialog, id == IDC_ALPHA_COMPOSITE); return FALSE;
    case IDC_CHOOSE_COLOR: ChooseCompositeColor(dialog, state); return TRUE;
    case IDC_TONE_MAP: EnableExposure(dialog); return FALSE;
    default:
        if (!IsHistorySwatch(id)) return FALSE;
        SendMessageW(dialog, UM_SELECTCOLOR, state.colorHistory[id - IDC_HISTORY_1], 0);
        return TRUE;
    }
}

// Makes `color` current. The history is a most-recently-used list of the colours that were
// current before: the replaced colour goes to the front, a colour taken from the history
// leaves it (its first occurrence only), and a new colour pushes the oldest entry out.
INT_PTR SelectColor(HWND dialog, SettingsDialogState& state, COLORREF color) noexcept {
    if (color == state.currentColor) return TRUE;  // nothing changes, nothing is repainted
    auto& history = state.colorHistory;
    const auto found = std::find(history.begin(), history.end(), color);
    const auto end = found == history.end() ? history.end() : found + 1;
    // The entry before `end` (the one found, or the oldest) leaves; those before it move up.
    std::rotate(history.begin(), end - 1, end);
    history[0] = state.currentColor;
    state.currentColor = color;
    InvalidateRect(GetDlgItem(dialog, IDC_CURRENT_COLOR), nullptr, FALSE);
    for (int id = IDC_HISTORY_1; id <= IDC_HISTORY_8; ++id) {
        InvalidateRect(GetDlgItem(dialog, id), nullptr, FALSE);
    }
    return TRUE;
}

// A swatch: filled with its colour and framed in the button-shadow colour; a dotted mark
// inset 3 pixels (left, top) and 4 (right, bottom) when it has the focus. Disabled and pushed
// swatches look the same, so the history keeps showing its colours in Remove mode.
INT_PTR DrawSwatch(const SettingsDialogState& state, const DRAWITEMSTRUCT& item) noexcept {
    const HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    GdiObject brush;
    if (item.CtlID == IDC_CURRENT_COLOR) {
        brush.reset(CreateSolidBrush(state.currentColor));
    } else if (IsHistorySwatch(item.CtlID)) {
        brush.reset(CreateSolidBrush(state.colorHistory[item.CtlID - IDC_HISTORY_1]));
    }
    if (brush) {
        const GdiObject pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW)));
        const SelectedObject selectedPen(dc, pen.get());
        const SelectedObject selectedBrush(dc, brush.get());
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
    }
    if (item.itemState & ODS_FOCUS) {
        const GdiObject pen(CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNTEXT)));
        const SelectedObject selectedPen(dc, pen.get());
        MoveToEx(dc, r.left + 3, r.top + 3, nullptr);
        LineTo(dc, r.right - 4, r.top + 3);
        LineTo(dc, r.right - 4, r.bottom - 4);
        LineTo(dc, r.left + 3, r.bottom - 4);
        LineTo(dc, r.left + 3, r.top + 3);
    }
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) return OnInitDialog(dialog);
    SettingsDialogState* state = StateOf(dialog);
    if (state == nullptr) return FALSE;
    switch (message) {
    case WM_COMMAND: return OnCommand(dialog, *state, wParam);
    case UM_SELECTCOLOR: return SelectColor(dialog, *state, static_cast<COLORREF>(wParam));
    case WM_HSCROLL: return OnExposureScroll(dialog, wParam, lParam);
    case WM_DRAWITEM:
        if (lParam == 0) return FALSE;
        return DrawSwatch(*state, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_DESTROY:
        AttachState(dialog, nullptr);
        delete state;
        return FALSE;
    default: return FALSE;
    }
}

PluginResult ShowSettingsDialog(HWND parent) noexcept {
    const INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_SETTINGS), parent,
                                           SettingsDialogProc, 0);
    // -1: the dialog could not be made, or OK could not open the settings key for writing.
    return result == -1 ? kInternalError : kSuccess;
}

}  // namespace sorvane

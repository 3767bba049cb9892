// MessageBoxA as a modal GTK 3 dialog: the caption as the window's title, the text as it
// is (line breaks kept, no markup), OK or OK and Cancel with OK the default; Escape or
// closing the window answers Cancel, or OK in a box with only OK.
//
// GTK is loaded with dlopen when the first box is shown, and only when the environment
// names a display: the program has no link dependency on GTK and runs where it is not
// installed, and a run without a display never pays for loading it (about 285 KB of heap
// and 55 ms for the attempt alone).  The few GTK calls are declared here.  Whether GTK
// could be started is decided once per process: a library that failed to start is not
// tried again for every box.  GTK stays loaded until the process ends.
#include "platform/posix/DesktopMessageBox.h"

#include "platform/Platform.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using gboolean = int;
using gint = int;
struct GtkWidget;
struct GtkWindow;
struct GtkDialog;

// GTK's values, as its headers define them.
constexpr int kGtkDialogModal = 1;      // GTK_DIALOG_MODAL
constexpr int kGtkMessageOther = 4;     // GTK_MESSAGE_OTHER: no icon
constexpr int kGtkButtonsOk = 1;        // GTK_BUTTONS_OK
constexpr int kGtkButtonsOkCancel = 5;  // GTK_BUTTONS_OK_CANCEL
constexpr gint kGtkResponseOk = -5;     // GTK_RESPONSE_OK

// The program's name for GTK (the windows' class) and its icon's name in the desktop's theme.
constexpr char kProgramName[] = "fwupgrade";

struct GtkCalls {
    void (*disableSetlocale)();
    gboolean (*initCheck)(int*, char***);
    void (*setDefaultIconName)(const char*);
    GtkWidget* (*messageDialogNew)(GtkWindow*, int, int, int, const char*, ...);
    void (*setTitle)(GtkWindow*, const char*);
    void (*setDefaultResponse)(GtkDialog*, gint);
    gint (*run)(GtkDialog*);
    void (*destroy)(GtkWidget*);
    gboolean (*eventsPending)();
    gboolean (*mainIteration)();
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    void* symbol = dlsym(library, name);
    static_assert(sizeof function == sizeof symbol, "dlsym hands out function addresses as data pointers");
    std::memcpy(&function, &symbol, sizeof symbol);
    return symbol != nullptr;
}

// Each call found by its name.
bool ResolveAll(void* library, GtkCalls& gtk) {
    return Resolve(library, "gtk_disable_setlocale", gtk.disableSetlocale) &&
           Resolve(library, "gtk_init_check", gtk.initCheck) &&
           Resolve(library, "gtk_window_set_default_icon_name", gtk.setDefaultIconName) &&
           Resolve(library, "gtk_message_dialog_new", gtk.messageDialogNew) &&
           Resolve(library, "gtk_window_set_title", gtk.setTitle) &&
           Resolve(library, "gtk_dialog_set_default_response", gtk.setDefaultResponse) &&
           Resolve(library, "gtk_dialog_run", gtk.run) && Resolve(library, "gtk_widget_destroy", gtk.destroy) &&
           Resolve(library, "gtk_events_pending", gtk.eventsPending) &&
           Resolve(library, "gtk_main_iteration", gtk.mainIteration);
}

// GTK loaded and started on the display; null when it cannot be.
const GtkCalls* StartGtk() {
    static GtkCalls gtk{};
    void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr || !ResolveAll(library, gtk)) {
        return nullptr;
    }
    // The program has set the locale itself; GTK would switch it (even when it then fails
    // to start), changing the character set of every text.
    gtk.disableSetlocale();
    char name[sizeof kProgramName];
    std::memcpy(name, kProgramName, sizeof kProgramName);
    int argc = 1;
    char* arguments[] = {name, nullptr};
    char** argv = arguments;
    if (!gtk.initCheck(&argc, &argv)) {
        return nullptr;
    }
    gtk.setDefaultIconName(kProgramName);
    return &gtk;
}

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// A narrow text of the ANSI code page in UTF-8, as GTK takes all text, with its line ends
// made single line feeds.  False when it does not convert.
bool ToUtf8(const char* text, std::string& utf8) {
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wideLength <= 0) {
        return false;
    }
    std::u16string wide(static_cast<std::size_t>(wideLength), u'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], wideLength) != wideLength) {
        return false;
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return false;
    }
    std::string converted(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &converted[0], length, nullptr, nullptr) != length) {
        return false;
    }
    converted.pop_back();  // the terminating zero, which the string keeps apart
    utf8.clear();
    for (std::size_t i = 0; i < converted.size(); ++i) {
        if (converted[i] == '\r') {
            if (i + 1 < converted.size() && converted[i + 1] == '\n') {
                continue;
            }
            utf8 += '\n';
        } else {
            utf8 += converted[i];
        }
    }
    return true;
}

}  // namespace

namespace platform::posix {

bool ShowDesktopMessageBox(const char* text, const char* caption, bool hasCancel, int& answer) {
    if (!HasDisplay()) {
        return false;
    }
    static const GtkCalls* const gtk = StartGtk();
    std::string title;
    std::string message;
    if (gtk == nullptr || !ToUtf8(caption != nullptr ? caption : "Error", title) ||
        !ToUtf8(text != nullptr ? text : "", message)) {
        return false;
    }
    // The text goes in as the argument of "%s": neither a format nor markup.
    GtkWidget* dialog = gtk->messageDialogNew(nullptr, kGtkDialogModal, kGtkMessageOther,
                                              hasCancel ? kGtkButtonsOkCancel : kGtkButtonsOk, "%s", message.c_str());
    if (dialog == nullptr) {
        return false;
    }
    gtk->setTitle(reinterpret_cast<GtkWindow*>(dialog), title.c_str());
    // Without it Return would answer Cancel, the button that has the focus.
    gtk->setDefaultResponse(reinterpret_cast<GtkDialog*>(dialog), kGtkResponseOk);
    const gint response = gtk->run(reinterpret_cast<GtkDialog*>(dialog));
    gtk->destroy(dialog);
    // The window goes from the screen now, not at the next box.
    while (gtk->eventsPending()) {
        gtk->mainIteration();
    }
    // Escape and closing the window (GTK_RESPONSE_DELETE_EVENT) are Cancel where there is one.
    answer = response == kGtkResponseOk || !hasCancel ? IDOK : IDCANCEL;
    return true;
}

}  // namespace platform::posix

// MessageBoxA as a modal GTK 3 dialog: the caption as the window's title, the text as it
// is (line breaks kept, no markup), OK or OK and Cancel with OK the default; Escape or
// closing the window answers Cancel, or OK in a box with only OK.  The text wraps at word
// boundaries, and inside a word too long for a line (a mount point deep in folders is one
// word); a text taller than kTextMaxHeight scrolls, so the buttons stay on the screen.
//
// Each box is shown by a child process (platform/posix/DialogProcess.h), which loads GTK
// with dlopen, starts it on the display and shows the dialog: a display that never answers
// (a frozen X server, a socket nobody reads) costs the program kDisplayAnswersWithinMs and
// no more, and one that goes away while the dialog is up (GTK then ends its process) ends
// only the child.  GTK is loaded only where the environment names a display, and never in
// the program itself: the program has no link dependency on GTK and runs where it is not
// installed, and keeps none of GTK's memory.  The few GTK calls are declared here.
// Whether the desktop can be had is decided once per process: a display that did not
// answer, or a GTK that could not start, is not tried again for every box.
#include "platform/posix/DesktopMessageBox.h"

#include "platform/posix/LineBreaks.h"

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
struct GtkMessageDialog;
struct GtkContainer;
struct GtkScrolledWindow;
struct GtkLabel;
struct GtkAdjustment;
struct PangoAttrList;
struct PangoAttribute;
// GLib's list, as its header lays it out.
struct GList {
    void* data;
    GList* next;
    GList* prev;
};

// GTK's values, as its headers define them.
constexpr int kGtkDialogModal = 1;      // GTK_DIALOG_MODAL
constexpr int kGtkMessageOther = 4;     // GTK_MESSAGE_OTHER: no icon
constexpr int kGtkButtonsOk = 1;        // GTK_BUTTONS_OK
constexpr int kGtkButtonsOkCancel = 5;  // GTK_BUTTONS_OK_CANCEL
constexpr gint kGtkResponseOk = -5;     // GTK_RESPONSE_OK
constexpr int kGtkPolicyAutomatic = 1;  // GTK_POLICY_AUTOMATIC
constexpr int kGtkPolicyNever = 2;      // GTK_POLICY_NEVER
constexpr int kPangoWrapWordChar = 2;   // PANGO_WRAP_WORD_CHAR

// The program's name for GTK (the windows' class) and its icon's name in the desktop's theme.
constexpr char kProgramName[] = "fwupgrade";

// Loading and starting GTK and making the dialog takes a few tenths of a second on a local
// display (sanitizers included), and can take a few seconds over a slow forwarded
// connection; a display that has not answered in 5 seconds is taken for one that never
// will, and the terminal's box follows after what still reads as a pause.
constexpr int kDisplayAnswersWithinMs = 5000;

// The text's height at most, in GTK's (logical) pixels: about 23 lines, more than any
// message with an ordinary drive path needs, and with the buttons and the window's frame
// about 500 pixels, which leaves them on a 1024x768 screen with a panel, or on 800x600.
constexpr gint kTextMaxHeight = 400;

struct GtkCalls {
    void (*disableSetlocale)();
    gboolean (*initCheck)(int*, char***);
    void (*setDefaultIconName)(const char*);
    GtkWidget* (*messageDialogNew)(GtkWindow*, int, int, int, const char*, ...);
    void (*setTitle)(GtkWindow*, const char*);
    void (*setDefaultResponse)(GtkDialog*, gint);
    gint (*run)(GtkDialog*);
    GtkWidget* (*messageArea)(GtkMessageDialog*);
    GList* (*children)(GtkContainer*);
    void (*listFree)(GList*);
    void* (*objectRef)(void*);
    void (*objectUnref)(void*);
    void (*remove)(GtkContainer*, GtkWidget*);
    void (*add)(GtkContainer*, GtkWidget*);
    void (*setWrapMode)(GtkLabel*, int);
    PangoAttrList* (*attributesNew)();
    PangoAttribute* (*insertHyphensNew)(gboolean);
    void (*attributesInsert)(PangoAttrList*, PangoAttribute*);
    void (*attributesUnref)(PangoAttrList*);
    void (*setAttributes)(GtkLabel*, PangoAttrList*);
    GtkWidget* (*scrolledWindowNew)(GtkAdjustment*, GtkAdjustment*);
    void (*setPolicy)(GtkScrolledWindow*, int, int);
    void (*setPropagateNaturalWidth)(GtkScrolledWindow*, gboolean);
    void (*setPropagateNaturalHeight)(GtkScrolledWindow*, gboolean);
    void (*setMaxContentHeight)(GtkScrolledWindow*, gint);
    void (*show)(GtkWidget*);
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    void* symbol = dlsym(library, name);
    static_assert(sizeof function == sizeof symbol, "dlsym hands out function addresses as data pointers");
    std::memcpy(&function, &symbol, sizeof symbol);
    return symbol != nullptr;
}

// Each call found by its name; GLib's and Pango's through GTK, which depends on them.
bool ResolveAll(void* library, GtkCalls& gtk) {
    return Resolve(library, "gtk_disable_setlocale", gtk.disableSetlocale) &&
           Resolve(library, "gtk_init_check", gtk.initCheck) &&
           Resolve(library, "gtk_window_set_default_icon_name", gtk.setDefaultIconName) &&
           Resolve(library, "gtk_message_dialog_new", gtk.messageDialogNew) &&
           Resolve(library, "gtk_window_set_title", gtk.setTitle) &&
           Resolve(library, "gtk_dialog_set_default_response", gtk.setDefaultResponse) &&
           Resolve(library, "gtk_dialog_run", gtk.run) &&
           Resolve(library, "gtk_message_dialog_get_message_area", gtk.messageArea) &&
           Resolve(library, "gtk_container_get_children", gtk.children) &&
           Resolve(library, "g_list_free", gtk.listFree) && Resolve(library, "g_object_ref", gtk.objectRef) &&
           Resolve(library, "g_object_unref", gtk.objectUnref) &&
           Resolve(library, "gtk_container_remove", gtk.remove) && Resolve(library, "gtk_container_add", gtk.add) &&
           Resolve(library, "gtk_label_set_line_wrap_mode", gtk.setWrapMode) &&
           Resolve(library, "pango_attr_list_new", gtk.attributesNew) &&
           Resolve(library, "pango_attr_insert_hyphens_new", gtk.insertHyphensNew) &&
           Resolve(library, "pango_attr_list_insert", gtk.attributesInsert) &&
           Resolve(library, "pango_attr_list_unref", gtk.attributesUnref) &&
           Resolve(library, "gtk_label_set_attributes", gtk.setAttributes) &&
           Resolve(library, "gtk_scrolled_window_new", gtk.scrolledWindowNew) &&
           Resolve(library, "gtk_scrolled_window_set_policy", gtk.setPolicy) &&
           Resolve(library, "gtk_scrolled_window_set_propagate_natural_width", gtk.setPropagateNaturalWidth) &&
           Resolve(library, "gtk_scrolled_window_set_propagate_natural_height", gtk.setPropagateNaturalHeight) &&
           Resolve(library, "gtk_scrolled_window_set_max_content_height", gtk.setMaxContentHeight) &&
           Resolve(library, "gtk_widget_show", gtk.show);
}

// GTK loaded and started on the display; false when it cannot be.  In the child only: the
// library stays loaded until the child ends.
bool StartGtk(GtkCalls& gtk) {
    void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr || !ResolveAll(library, gtk)) {
        return false;
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
        return false;
    }
    gtk.setDefaultIconName(kProgramName);
    return true;
}

// Lets the label's lines break inside a word too long for a line, without the hyphen a
// word would get there: a path is shown as it is.
void WrapAnywhere(const GtkCalls& gtk, GtkLabel* label) {
    gtk.setWrapMode(label, kPangoWrapWordChar);
    PangoAttrList* attributes = gtk.attributesNew();
    gtk.attributesInsert(attributes, gtk.insertHyphensNew(0));  // the list takes the attribute
    gtk.setAttributes(label, attributes);
    gtk.attributesUnref(attributes);
}

// Moves the dialog's text (the label that comes first in its message area) into an area
// that scrolls once the text is taller than kTextMaxHeight, and is as tall as the text
// below that; a short text looks as it would without.
bool LayOutText(const GtkCalls& gtk, GtkWidget* dialog) {
    auto* area = reinterpret_cast<GtkContainer*>(gtk.messageArea(reinterpret_cast<GtkMessageDialog*>(dialog)));
    GList* children = gtk.children(area);
    auto* label = children != nullptr ? static_cast<GtkWidget*>(children->data) : nullptr;
    gtk.listFree(children);
    if (label == nullptr) {
        return false;
    }
    WrapAnywhere(gtk, reinterpret_cast<GtkLabel*>(label));
    GtkWidget* scrolled = gtk.scrolledWindowNew(nullptr, nullptr);
    auto* window = reinterpret_cast<GtkScrolledWindow*>(scrolled);
    gtk.setPolicy(window, kGtkPolicyNever, kGtkPolicyAutomatic);
    gtk.setPropagateNaturalWidth(window, 1);
    gtk.setPropagateNaturalHeight(window, 1);
    gtk.setMaxContentHeight(window, kTextMaxHeight);
    gtk.objectRef(label);
    gtk.remove(area, label);
    gtk.add(reinterpret_cast<GtkContainer*>(scrolled), label);
    gtk.objectUnref(label);
    gtk.add(area, scrolled);
    gtk.show(scrolled);
    return true;
}

struct DialogTexts {
    std::string title;
    std::string message;
    bool hasCancel;
};

// The child's work: GTK started, the dialog made, Shown reported, then the answer.  The
// dialog is not destroyed: the child ends at once, and its window goes with its connection.
void ShowDialog(const DialogTexts& texts, const platform::posix::DialogReport& report) {
    GtkCalls gtk{};
    if (!StartGtk(gtk)) {
        return;
    }
    // The text goes in as the argument of "%s": neither a format nor markup.
    GtkWidget* dialog =
        gtk.messageDialogNew(nullptr, kGtkDialogModal, kGtkMessageOther,
                             texts.hasCancel ? kGtkButtonsOkCancel : kGtkButtonsOk, "%s", texts.message.c_str());
    if (dialog == nullptr || !LayOutText(gtk, dialog)) {
        return;
    }
    gtk.setTitle(reinterpret_cast<GtkWindow*>(dialog), texts.title.c_str());
    // Without it Return would answer Cancel, the button that has the focus.
    gtk.setDefaultResponse(reinterpret_cast<GtkDialog*>(dialog), kGtkResponseOk);
    report.Shown();
    const gint response = gtk.run(reinterpret_cast<GtkDialog*>(dialog));
    // Escape and closing the window (GTK_RESPONSE_DELETE_EVENT) are Cancel where there is one.
    report.Answer(response == kGtkResponseOk || !texts.hasCancel);
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
    return platform::posix::ForEachLine(
        converted.data(), converted.data() + converted.size(),
        [&utf8](const char* begin, const char* end) {
            utf8.append(begin, end);
            return true;
        },
        [&utf8] {
            utf8 += '\n';
            return true;
        });
}

}  // namespace

namespace platform::posix {

DialogOutcome ShowDesktopMessageBox(const char* text, const char* caption, bool hasCancel) {
    static bool unavailable = false;
    DialogTexts texts{{}, {}, hasCancel};
    if (unavailable || !HasDisplay() || !ToUtf8(caption != nullptr ? caption : "Error", texts.title) ||
        !ToUtf8(text != nullptr ? text : "", texts.message)) {
        return DialogOutcome::NotShown;
    }
    const DialogOutcome outcome = ShowInChildProcess(
        [&texts](const DialogReport& report) { ShowDialog(texts, report); }, kDisplayAnswersWithinMs);
    unavailable = outcome == DialogOutcome::NotShown;
    return outcome;
}

}  // namespace platform::posix

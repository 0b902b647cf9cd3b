#pragma once
// The prompt service: every message box, question, file dialog and text input of the program
// goes through here, so that tests can script the answers and read back exactly what was asked.
//
// Interactive use:   if (ui::Prompt::question(this, "Delete it?", "Arvendel")) ...
// Scripted (tests):  ui::ScriptedPrompts script;            // from now on nothing is shown
//                    script.answer(ui::Button::Yes);          // queue answers in order
//                    ... run the code ...
//                    EXPECT_EQ(script.asked().at(0).text, "Delete it?");
// A prompt that finds no queued answer while scripted is recorded with unscripted = true and
// gets the cancelling answer (Cancel, No, or the only button; no file; no text), so a test
// never hangs on a dialog.
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace ui {

enum class Icon { None, Information, Warning, Error, Question };

// Buttons may be combined; a message returns the one pressed (0 when the box was closed
// without one while only scripted answers are possible, which never happens interactively).
namespace Button {
enum : int { Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8, Abort = 0x10, Retry = 0x20, Ignore = 0x40 };
}

enum class PromptKind { Message, OpenFile, OpenFiles, SaveFile, Directory, InputText };

// What a prompt asked, and what it answered.
struct PromptRecord {
    PromptKind kind = PromptKind::Message;
    QString caption;
    QString text;          // message text, or the label of a text input
    Icon icon = Icon::None;
    int buttons = 0;
    int defaultButton = 0;
    QString initial;       // file dialogs: the start folder or file name; input: the start text
    QString filter;        // file dialogs: the type filter
    QString parentName;    // objectName of the parent window, if any
    QString shown;         // messages: the text as the box shows it (wrapped)
    // The answer.
    int button = 0;
    QStringList files;
    QString answerText;
    bool accepted = false; // a file or text was given / a button other than Cancel and No
    bool unscripted = false;
};

// One scripted answer. For messages: the button. For file dialogs: the file names (empty for
// cancel). For text input: the text and whether it was accepted.
struct ScriptedAnswer {
    int button = 0;
    QStringList files;
    QString text;
    bool accepted = true;
    QString selectedFilter;

    ScriptedAnswer() = default;
    ScriptedAnswer(int b) : button(b) {} // NOLINT: allows script.answer(Button::Yes)
    static ScriptedAnswer file(const QString &name) { ScriptedAnswer a; a.files = {name}; return a; }
    static ScriptedAnswer fileList(const QStringList &names) { ScriptedAnswer a; a.files = names; return a; }
    static ScriptedAnswer input(const QString &t) { ScriptedAnswer a; a.text = t; return a; }
    static ScriptedAnswer cancel() { ScriptedAnswer a; a.accepted = false; a.button = Button::Cancel; return a; }
};

class Prompt {
public:
    // A message box. Its lines are wrapped at wrapColumn characters (40, the program's rule
    // for messages; pass the column a message states, or 0 to show the text as given); the
    // record keeps the text as given and the wrapped one in `shown`. Returns the button pressed.
    static int message(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                       int buttons = Button::Ok, int defaultButton = 0, int wrapColumn = 40);
    static void information(QWidget *parent, const QString &text, const QString &caption);
    static void warning(QWidget *parent, const QString &text, const QString &caption);
    static void error(QWidget *parent, const QString &text, const QString &caption);
    // The program's save confirmation before directory writes ("Do you want to save...",
    // two lines, Yes as default); true for Yes.
    static bool confirmSave(QWidget *parent);
    // Yes/No question; true for Yes.
    static bool question(QWidget *parent, const QString &text, const QString &caption,
                         Icon icon = Icon::Question, int defaultButton = Button::Yes);

    // File dialogs; an empty result means cancelled. filter uses Qt's "Text (*.txt);;All (*)"
    // form; selectedFilter, when given, receives the chosen filter.
    static QString openFileName(QWidget *parent, const QString &caption, const QString &initial,
                                const QString &filter, QString *selectedFilter = nullptr);
    static QStringList openFileNames(QWidget *parent, const QString &caption, const QString &initial,
                                     const QString &filter, QString *selectedFilter = nullptr);
    static QString saveFileName(QWidget *parent, const QString &caption, const QString &initial,
                                const QString &filter, QString *selectedFilter = nullptr);
    // A save dialog whose file name takes the extension of the chosen type: extensions[i]
    // (".jpg") belongs to the i-th filter of the filter text. Scripted like saveFileName.
    static QString saveFileNameSwitchingExtension(QWidget *parent, const QString &caption, const QString &initial,
                                                  const QString &filter, const QStringList &extensions,
                                                  QString *selectedFilter = nullptr);
    static QString directory(QWidget *parent, const QString &caption, const QString &initial);

    // Asks for one line of text; false when cancelled. password hides what is typed.
    static bool inputText(QWidget *parent, const QString &caption, const QString &label,
                          QString &text, bool password = false);

    // --- scripting ---------------------------------------------------------------------
    static void setScripted(bool on);     // on: clears the queue and the record
    static bool isScripted();
    static void enqueue(const ScriptedAnswer &a);
    // Called for a prompt when the queue is empty (before falling back to cancelling).
    static void setResponder(std::function<ScriptedAnswer(const PromptRecord &)> responder);
    static QList<PromptRecord> asked();
    static int pending();                 // queued answers not yet used
    static void clearRecord();
};

// Scripting for the life of the object (tests).
class ScriptedPrompts {
public:
    ScriptedPrompts() { Prompt::setScripted(true); }
    ~ScriptedPrompts() { Prompt::setResponder({}); Prompt::setScripted(false); }
    ScriptedPrompts(const ScriptedPrompts &) = delete;
    ScriptedPrompts &operator=(const ScriptedPrompts &) = delete;

    ScriptedPrompts &answer(const ScriptedAnswer &a) { Prompt::enqueue(a); return *this; }
    void respond(std::function<ScriptedAnswer(const PromptRecord &)> r) { Prompt::setResponder(std::move(r)); }
    QList<PromptRecord> asked() const { return Prompt::asked(); }
    int pending() const { return Prompt::pending(); }
    int unscripted() const
    {
        int n = 0;
        for (const auto &r : Prompt::asked())
            n += r.unscripted ? 1 : 0;
        return n;
    }
    // Texts of all messages asked so far, in order.
    QStringList messages() const
    {
        QStringList l;
        for (const auto &r : Prompt::asked())
            if (r.kind == PromptKind::Message)
                l << r.text;
        return l;
    }
    void clear() { Prompt::clearRecord(); }
};

} // namespace ui

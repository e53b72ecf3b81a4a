#include "platform/ui/rich_edit_control.h"

#include <QAbstractTextDocumentLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextObjectInterface>
#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/richedit/rich_document.h"
#include "platform/richedit/rich_document_p.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/widget_canvas_p.h"

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kScreenDpi = 96;

int toPixels(int twips) {
    return static_cast<int>(std::int64_t{twips} * kScreenDpi / kTwipsPerInch);
}

// Pictures and objects in the editor, drawn as the document's own layout draws them. The text
// layout finds a handler through the interface cast, which a plain QObject answers here.
class ObjectPainter final : public QObject, public QTextObjectInterface {
public:
    explicit ObjectPainter(const TRichDocument::Impl& doc, QObject* parent)
        : QObject(parent), doc_(doc) {}

    void* qt_metacast(const char* name) override {
        if (name && std::strcmp(name, qobject_interface_iid<QTextObjectInterface*>()) == 0)
            return static_cast<QTextObjectInterface*>(this);
        return QObject::qt_metacast(name);
    }

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        const auto [w, h] = richdoc::ObjectTwips(doc_, pictureOf(format), objectOf(format));
        return QSizeF(std::max(1, toPixels(w)), std::max(1, toPixels(h)));
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                    const QTextFormat& format) override {
        const QRect r = rect.toRect();
        painter->save();
        TWidgetCanvas canvas;
        canvas.Begin(painter, r.right() + 1, r.bottom() + 1);
        richdoc::DrawObject(canvas, doc_, pictureOf(format), objectOf(format),
                            {r.left(), r.top(), r.right() + 1, r.bottom() + 1}, kScreenDpi);
        canvas.End();
        painter->restore();
    }

private:
    static int pictureOf(const QTextFormat& f) {
        return f.hasProperty(richdoc::kPicture) ? f.intProperty(richdoc::kPicture) : -1;
    }
    static int objectOf(const QTextFormat& f) {
        return f.hasProperty(richdoc::kObject) ? f.intProperty(richdoc::kObject) : -1;
    }
    const TRichDocument::Impl& doc_;
};

bool printable(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (!c.isPrint() && !c.isSurrogate()) return false;
    return true;
}

} // namespace

// The toolkit's editor over the document's own text document. Its editing is switched off:
// it keeps caret and selection, and hands every change to the control.
class TRichEditControl::Editor final : public QTextEdit {
public:
    explicit Editor(TRichEditControl* owner)
        : owner_(owner), impl_(owner->Document().Internals()),
          objects_(new ObjectPainter(impl_, this)), detached_(new QTextDocument(this)) {
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setAttribute(Qt::WA_InputMethodEnabled, true);
        setAcceptDrops(false);
        setUndoRedoEnabled(false);
        Show(impl_.doc.get());
        impl_.documentReplacing = [this](QTextDocument* doc) { Show(doc); };
        connect(this, &QTextEdit::cursorPositionChanged, this, [this] { PushSelection(); });
        connect(this, &QTextEdit::selectionChanged, this, [this] { PushSelection(); });
    }

    // The control goes: the editor lets go of its document first.
    void Detach() {
        impl_.documentReplacing = nullptr;
        following_ = true;
        setDocument(detached_);
    }

    // The document's selection, shown.
    void Follow() {
        const QTextCursor c = textCursor();
        const int start = std::min(impl_.selStart, impl_.selEnd);
        const int end = std::max(impl_.selStart, impl_.selEnd);
        if (c.selectionStart() != start || c.selectionEnd() != end) {
            QTextCursor n(document());
            n.setPosition(std::clamp(start, 0, impl_.Length()));
            n.setPosition(std::clamp(end, 0, impl_.Length()), QTextCursor::KeepAnchor);
            following_ = true;
            setTextCursor(n);
            following_ = false;
        }
        ApplyDefaultFont();
    }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        static constexpr std::pair<QKeySequence::StandardKey, TRichEditorAction> actions[] = {
            {QKeySequence::Undo, eaUndo},   {QKeySequence::Redo, eaRedo},
            {QKeySequence::Cut, eaCut},     {QKeySequence::Copy, eaCopy},
            {QKeySequence::Paste, eaPaste},
        };
        for (const auto& [key, action] : actions) {
            if (e->matches(key)) {
                SafeCall([&] { owner_->EditorAction(action); });
                return;
            }
        }
        static constexpr std::pair<QKeySequence::StandardKey, QTextCursor::MoveOperation>
            deletions[] = {
                {QKeySequence::DeleteStartOfWord, QTextCursor::PreviousWord},
                {QKeySequence::DeleteEndOfWord, QTextCursor::NextWord},
                {QKeySequence::DeleteEndOfLine, QTextCursor::EndOfBlock},
            };
        for (const auto& [key, move] : deletions)
            if (e->matches(key)) return Delete(move);
        const bool command = e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
        switch (e->key()) {
        case Qt::Key_Backspace:
            return Delete(QTextCursor::PreviousCharacter);
        case Qt::Key_Delete:
            return Delete(QTextCursor::NextCharacter);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return Input(u"\r");
        case Qt::Key_Tab:
            if (!command) return Input(u"\t");
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QTextEdit::keyPressEvent(e);
            return;
        default:
            break;
        }
        if (e->matches(QKeySequence::SelectAll)) {
            QTextEdit::keyPressEvent(e);
            return;
        }
        if (!command && printable(e->text())) {
            const QString text = e->text();
            return Input(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                             static_cast<std::size_t>(text.size())));
        }
        e->ignore();
    }

    void inputMethodEvent(QInputMethodEvent* e) override {
        // Only what the input method commits enters the text; its composition stays with it.
        const QString text = e->commitString();
        if (!text.isEmpty())
            Input(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                      static_cast<std::size_t>(text.size())));
        e->accept();
    }

    void contextMenuEvent(QContextMenuEvent* e) override {
        // The control's own menu, if any, has been offered already; the toolkit's is not.
        e->accept();
    }

    void changeEvent(QEvent* e) override {
        QTextEdit::changeEvent(e);
        // The widget's font is the toolkit's idea of a default; the document keeps its own.
        if (e->type() == QEvent::FontChange) ApplyDefaultFont();
    }

private:
    void Show(QTextDocument* doc) {
        following_ = true;
        setDocument(doc);
        doc->setUndoRedoEnabled(false);
        // Pictures are image objects to the layout; they come from the document's own table.
        doc->documentLayout()->registerHandler(QTextFormat::ImageObject, objects_);
        doc->documentLayout()->registerHandler(richdoc::kObjectType, objects_);
        shownFont_.reset();
        ApplyDefaultFont();
        following_ = false;
    }

    void ApplyDefaultFont() {
        QTextCharFormat f;
        richdoc::ApplyCharFormat(f, impl_.defaultFormat, impl_.defaultFormat.Mask);
        const QFont font = f.font();
        if (shownFont_ && *shownFont_ == font) return;
        shownFont_ = font;
        document()->setDefaultFont(font);
    }

    // The editor's selection becomes the document's.
    void PushSelection() {
        if (following_) return;
        const QTextCursor c = textCursor();
        if (c.selectionStart() == std::min(impl_.selStart, impl_.selEnd) &&
            c.selectionEnd() == std::max(impl_.selStart, impl_.selEnd))
            return;
        following_ = true;
        SafeCall([&] { owner_->Document().SetSelection(c.selectionStart(), c.selectionEnd()); });
        following_ = false;
    }

    void Input(std::u16string_view text) {
        PushSelection();
        SafeCall([&] { owner_->EditorInput(text); });
    }

    // Deletes the selection, or what the move covers from the caret when there is none.
    void Delete(QTextCursor::MoveOperation move) {
        QTextCursor c = textCursor();
        if (!c.hasSelection()) c.movePosition(move, QTextCursor::KeepAnchor);
        if (!c.hasSelection()) return;
        TRichDocument& doc = owner_->Document();
        const int start = doc.SelStart(), end = doc.SelEnd(), length = doc.Length();
        following_ = true;
        SafeCall([&] { doc.SetSelection(c.selectionStart(), c.selectionEnd()); });
        following_ = false;
        SafeCall([&] { owner_->EditorInput(u""); });
        // Refused (read-only, protected): the caret stays where it was.
        if (doc.Length() == length) doc.SetSelection(start, end);
    }

    TRichEditControl* owner_;
    TRichDocument::Impl& impl_;
    ObjectPainter* objects_;
    QTextDocument* detached_;
    std::optional<QFont> shownFont_;
    bool following_ = false;
};

TRichEditControl::TRichEditControl(TComponent* owner)
    : TWinControl(owner), document_(std::make_unique<TRichDocument>()) {
    document_->OnChange = [this] {
        if (editor_) editor_->Follow();
        DocumentChanged();
    };
    document_->OnSelectionChange = [this] {
        if (editor_) editor_->Follow();
        DocumentSelectionChanged();
    };
}

TRichEditControl::~TRichEditControl() {
    document_->OnChange = nullptr;
    document_->OnSelectionChange = nullptr;
    if (editor_) editor_->Detach();
}

void TRichEditControl::WidgetNeeded() {
    if (editor_) return;
    editor_ = new Editor(this);
    AttachWidget(editor_);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(editor_->viewport());
    SetTabStop(true);
    editor_->Follow();
}

int TRichEditControl::CharFromPoint(int x, int y) const {
    if (!editor_) return -1;
    const QPoint p = editor_->viewport()->mapFrom(editor_, QPoint(x, y));
    return editor_->cursorForPosition(p).position();
}

void TRichEditControl::EditorInput(std::u16string_view text) {
    if (!document_->ReplaceSelection(text, true)) return;
    const int caret = document_->SelEnd();
    document_->SetSelection(caret, caret);
}

void TRichEditControl::EditorAction(TRichEditorAction action) {
    if (action == eaUndo) document_->Undo();
    if (action == eaRedo) document_->Redo();
}

// Labels, edits and memos.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>

#include "platform/core/properties.h"
#include "platform/ui/application.h"
#include "platform/ui/control_p.h"
#include "platform/ui/std_controls.h"

// ---- TTextLines
// ----------------------------------------------------------------------------------

std::vector<std::string> TTextLines::Split() const {
    std::vector<std::string> lines;
    const std::string text = get_();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void TTextLines::Join(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += '\n';
        text += lines[i];
    }
    set_(text);
}

int TTextLines::Count() const {
    return static_cast<int>(Split().size());
}

std::string TTextLines::Get(int index) const {
    const auto lines = Split();
    if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
    return lines[static_cast<std::size_t>(index)];
}

void TTextLines::Put(int index, std::string_view s) {
    auto lines = Split();
    if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
    lines[static_cast<std::size_t>(index)] = std::string(s);
    Join(lines);
}

void TTextLines::InsertObject(int index, std::string_view s, TObject*) {
    auto lines = Split();
    if (index < 0 || index > static_cast<int>(lines.size())) IndexError(index);
    lines.insert(lines.begin() + index, std::string(s));
    Join(lines);
}

void TTextLines::Delete(int index) {
    auto lines = Split();
    if (index < 0 || index >= static_cast<int>(lines.size())) IndexError(index);
    lines.erase(lines.begin() + index);
    Join(lines);
}

void TTextLines::Clear() {
    set_("");
}

void TTextLines::SetText(std::string_view text) {
    std::string t;
    t.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            t += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            t += text[i];
        }
    }
    if (!t.empty() && t.back() == '\n') t.pop_back();
    set_(t);
}

// ---- TLabel
// --------------------------------------------------------------------------------------

namespace {

// "&File" shows as "File" with the accelerator; "&&" is a plain "&".
QString WithoutAccel(const std::string& text) {
    QString out;
    const QString s = QString::fromStdString(text);
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) ++i;
        out += s[i];
    }
    return out;
}

} // namespace

void TLabel::RegisterProperties(TClassBuilder<TLabel>& b) {
    b.Add("Alignment", TypeInfoAlignment(), &TLabel::Alignment, &TLabel::SetAlignment)
        .Default(taLeftJustify);
    b.Add("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize).Default(1);
    b.Add("Caption", &TLabel::Caption, &TLabel::SetCaption);
    b.Add("Layout", TypeInfoTextLayout(), &TLabel::Layout, &TLabel::SetLayout).Default(tlTop);
    b.Add("Transparent", &TLabel::Transparent, &TLabel::SetTransparent).Default(0);
    b.Add("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap).Default(0);
    b.Publish("ParentColor").Default(1);
}

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
    Internals().parentColor = true;
    auto* w = new QLabel();
    w->setContentsMargins(0, 0, 0, 0);
    w->setMargin(0);
    w->setIndent(0);
    SetBounds(0, 0, 65, 17);
    AttachWidget(w);
    ApplyAlignment();
}

void TLabel::SetControlText(const std::string& text) {
    text_ = text;
    if (auto* w = static_cast<QLabel*>(Widget())) w->setText(WithoutAccel(text));
}

void TLabel::TextChanged() {
    AdjustSize();
}

void TLabel::FontChanged() {
    TGraphicControl::FontChanged();
    AdjustSize();
}

void TLabel::SetAlignment(TAlignment value) {
    alignment_ = value;
    ApplyAlignment();
}

void TLabel::SetLayout(TTextLayout value) {
    layout_ = value;
    ApplyAlignment();
}

void TLabel::SetAutoSize(bool value) {
    autoSize_ = value;
    AdjustSize();
}

void TLabel::SetWordWrap(bool value) {
    wordWrap_ = value;
    if (auto* w = static_cast<QLabel*>(Widget())) w->setWordWrap(value);
    AdjustSize();
}

void TLabel::SetTransparent(bool value) {
    transparent_ = value;
    if (QWidget* w = Widget()) w->setAutoFillBackground(!value && !ParentColor());
}

void TLabel::ApplyAlignment() {
    auto* w = static_cast<QLabel*>(Widget());
    if (!w) return;
    Qt::Alignment a = alignment_ == taRightJustify ? Qt::AlignRight
                      : alignment_ == taCenter     ? Qt::AlignHCenter
                                                   : Qt::AlignLeft;
    a |= layout_ == tlCenter   ? Qt::AlignVCenter
         : layout_ == tlBottom ? Qt::AlignBottom
                               : Qt::AlignTop;
    w->setAlignment(a);
}

void TLabel::AdjustSize() {
    SetBounds(Left(), Top(), Width(), Height());
}

void TLabel::SetBounds(int left, int top, int width, int height) {
    auto* w = static_cast<QLabel*>(Widget());
    if (autoSize_ && w) {
        const QFontMetrics fm(w->font());
        const QString shown = WithoutAccel(text_);
        if (wordWrap_) {
            height =
                fm.boundingRect(QRect(0, 0, std::max(1, width), 100000), Qt::TextWordWrap, shown)
                    .height();
        } else {
            int textWidth = 0;
            for (const QString& line : shown.split('\n'))
                textWidth = std::max(textWidth, fm.horizontalAdvance(line));
            width = textWidth;
            height = fm.height() * std::max<int>(1, static_cast<int>(shown.count('\n')) + 1);
        }
    }
    TGraphicControl::SetBounds(left, top, width, height);
}

// ---- TEdit
// ---------------------------------------------------------------------------------------

void TEdit::RegisterProperties(TClassBuilder<TEdit>& b) {
    b.Add("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength).Default(0);
    b.Add("PasswordChar", &TEdit::PasswordChar, &TEdit::SetPasswordChar).Default(0);
    b.Add("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly).Default(0);
    b.Add("Text", &TEdit::Text, &TEdit::SetText);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
    b.AddMethod("OnChange", "TNotifyEvent");
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
    auto* w = new QLineEdit();
    SetBounds(0, 0, 121, 21);
    AttachWidget(w);
    SetTabStop(true);
    QObject::connect(w, &QLineEdit::textChanged, w, [this] { SafeCall([this] { Change(); }); });
}

void TEdit::Change() {
    if (OnChange) OnChange(this);
}

std::string TEdit::GetControlText() const {
    const auto* w = static_cast<const QLineEdit*>(Widget());
    return w ? w->text().toStdString() : std::string();
}

void TEdit::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QLineEdit*>(Widget())) w->setText(QString::fromStdString(text));
}

void TEdit::SetMaxLength(int value) {
    maxLength_ = std::max(0, value);
    if (auto* w = static_cast<QLineEdit*>(Widget()))
        w->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
}

void TEdit::SetReadOnly(bool value) {
    readOnly_ = value;
    if (auto* w = static_cast<QLineEdit*>(Widget())) w->setReadOnly(value);
}

void TEdit::SetPasswordChar(char value) {
    passwordChar_ = value;
    if (auto* w = static_cast<QLineEdit*>(Widget()))
        w->setEchoMode(value ? QLineEdit::Password : QLineEdit::Normal);
}

void TEdit::SelectAll() {
    if (auto* w = static_cast<QLineEdit*>(Widget())) w->selectAll();
}

// ---- TMemo
// ---------------------------------------------------------------------------------------

void TMemo::RegisterProperties(TClassBuilder<TMemo>& b) {
    b.Add("Lines", &TMemo::LinesProp, &TMemo::SetLines);
    b.Add("ReadOnly", &TMemo::ReadOnly, &TMemo::SetReadOnly).Default(0);
    b.Add("ScrollBars", TypeInfoScrollStyle(), &TMemo::ScrollBars, &TMemo::SetScrollBars)
        .Default(ssNone);
    b.Add("WordWrap", &TMemo::WordWrap, &TMemo::SetWordWrap).Default(1);
    b.Add("Text", &TMemo::Text, &TMemo::SetText).Stored(false);
    b.Publish("TabStop").Default(1);
    b.Publish("Color").Default(clWindow);
    b.AddMethod("OnChange", "TNotifyEvent");
}

TMemo::TMemo(TComponent* owner)
    : TWinControl(owner),
      lines_([this] { return GetControlText(); }, [this](const std::string& t) { SetText(t); }) {
    auto* w = new QPlainTextEdit();
    SetBounds(0, 0, 185, 89);
    AttachWidget(w);
    static_cast<ControlEventFilter*>(Internals().filter)->Watch(w->viewport());
    SetTabStop(true);
    ApplyScrollBars();
    QObject::connect(w, &QPlainTextEdit::textChanged, w,
                     [this] { SafeCall([this] { Change(); }); });
}

void TMemo::Change() {
    if (OnChange) OnChange(this);
}

std::string TMemo::GetControlText() const {
    const auto* w = static_cast<const QPlainTextEdit*>(Widget());
    return w ? w->toPlainText().toStdString() : std::string();
}

void TMemo::SetControlText(const std::string& text) {
    if (auto* w = static_cast<QPlainTextEdit*>(Widget())) {
        QString t = QString::fromStdString(text);
        t.replace("\r\n", "\n");
        w->setPlainText(t);
    }
}

void TMemo::SetReadOnly(bool value) {
    readOnly_ = value;
    if (auto* w = static_cast<QPlainTextEdit*>(Widget())) w->setReadOnly(value);
}

void TMemo::SetWordWrap(bool value) {
    wordWrap_ = value;
    ApplyScrollBars();
}

void TMemo::SetScrollBars(TScrollStyle value) {
    scrollBars_ = value;
    ApplyScrollBars();
}

void TMemo::ApplyScrollBars() {
    auto* w = static_cast<QPlainTextEdit*>(Widget());
    if (!w) return;
    const bool h = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
    const bool v = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
    w->setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    w->setVerticalScrollBarPolicy(v ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // A horizontal scroll bar turns wrapping off, as in the class library.
    w->setLineWrapMode(wordWrap_ && !h ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

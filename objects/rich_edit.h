#pragma once
// The report library's rich-edit control: formatted text with pictures and embedded objects,
// read and written as RTF or plain text, measured and drawn in twips. The rich text view keeps
// one without a window as its measuring and drawing engine; the designer's editor shows one.
// Its character and paragraph formats are objects with properties in points, and its Lines
// read and write the whole content, retrying a failed load in the other format.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/string_list.h"
#include "platform/graphics/font.h"
#include "platform/richedit/rich_document.h"
#include "platform/ui/control.h"
#include "platform/ui/menus.h"
#include "platform/ui/rich_edit_control.h"
#include "platform/ui/ui_types.h"

class TQvCustomRichEdit;
class TStream;

// The version of the control's behaviour where versions differ (line breaks, undo, formats).
inline constexpr int RichEditVersion = 4;

enum TRichStreamFormat : std::uint8_t { sfDefault, sfRichText, sfPlainText };
enum TRichStreamMode : std::uint8_t { smSelection, smPlainRtf, smNoObjects, smUnicode };
using TRichStreamModes = std::uint8_t; // bits 1 << TRichStreamMode
enum TRichLangOption : std::uint8_t {
    rlAutoKeyboard,
    rlAutoFont,
    rlImeCancelComplete,
    rlImeAlwaysSendNotify
};
using TRichLangOptions = std::uint8_t; // bits 1 << TRichLangOption
enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
enum TNumberingStyle : std::uint8_t { nsNone, nsBullet };

// The character format of one scope of the control, in points.
class TQvTextAttributes : public TPersistent {
    LUMETRA_CLASS(TQvTextAttributes, TPersistent)
public:
    TQvTextAttributes(TQvCustomRichEdit* control, TRichDocument::Scope scope);

    TFontCharset Charset() const;
    void SetCharset(TFontCharset value);
    TColor Color() const;
    void SetColor(TColor value);
    std::string Name() const;
    void SetName(const std::string& value);
    TFontStyles Style() const;
    void SetStyle(TFontStyles value);
    int Size() const;
    void SetSize(int points);
    TFontPitch Pitch() const;
    void SetPitch(TFontPitch value);

    // From a TFont or another TQvTextAttributes; to a TFont.
    void Assign(const TPersistent* source) override;
    void AssignTo(TFont& font) const;

private:
    TRichCharFormat read() const;
    void write(const TRichCharFormat& format);
    TQvCustomRichEdit* control_;
    TRichDocument::Scope scope_;
};

// The paragraph format of the selection's paragraphs, in points.
class TQvParaAttributes : public TPersistent {
    LUMETRA_CLASS(TQvParaAttributes, TPersistent)
public:
    explicit TQvParaAttributes(TQvCustomRichEdit* control);

    TAlignment Alignment() const;
    void SetAlignment(TAlignment value);
    TNumberingStyle Numbering() const;
    void SetNumbering(TNumberingStyle value);
    // The first line's indent from the left edge; LeftIndent is the other lines' offset from it.
    int FirstIndent() const;
    void SetFirstIndent(int points);
    int LeftIndent() const;
    void SetLeftIndent(int points);
    int RightIndent() const;
    void SetRightIndent(int points);
    int Tab(int index) const; // 0..31
    void SetTab(int index, int points);
    int TabCount() const;

    void Assign(const TPersistent* source) override;

private:
    TRichParaFormat read() const;
    void write(const TRichParaFormat& format);
    TQvCustomRichEdit* control_;
};

// The control's Lines: one line a paragraph; loading and saving the whole content.
class TRichEditStrings : public TStrings {
    LUMETRA_CLASS(TRichEditStrings, TStrings)
public:
    explicit TRichEditStrings(TQvCustomRichEdit* control) : control_(control) {}

    int Count() const override;
    void InsertObject(int index, std::string_view s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void SetText(std::string_view text) override;

    // RTF or plain text by StreamFormat; a failed load is tried once more in the other format
    // before "Failed to Load Stream" is raised. The selection is at the start afterwards.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    // By extension: ".txt" plain text, ".rtf" rich text, whatever StreamFormat says.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    TRichStreamFormat StreamFormat() const { return format_; }
    void SetStreamFormat(TRichStreamFormat v) { format_ = v; }
    TRichStreamModes StreamMode() const { return mode_; }
    void SetStreamMode(TRichStreamModes v) { mode_ = v; }

protected:
    std::string Get(int index) const override;
    void Put(int index, std::string_view s) override;
    void SetUpdateState(bool updating) override;

private:
    bool rich() const;
    void load(std::string_view bytes, bool asRich);
    TQvCustomRichEdit* control_;
    TRichStreamFormat format_ = sfDefault;
    TRichStreamModes mode_ = 0;
};

using TRichEditURLClickEvent =
    std::function<void(TObject* sender, const std::string& url, TMouseButton button)>;
using TRichEditProtectChange =
    std::function<void(TObject* sender, int startPos, int endPos, bool& allowChange)>;
using TRichEditProtectChangeEx = std::function<void(TObject* sender, unsigned message, int startPos,
                                                    int endPos, bool& allowChange)>;
using TRichEditSaveClipboard =
    std::function<void(TObject* sender, int numObjects, int numChars, bool& saveClipboard)>;
using TRichEditResizeEvent = std::function<void(TObject* sender, const TRect& rect)>;
using TRichEditFindErrorEvent = std::function<void(TObject* sender, const std::string& text)>;

class TQvCustomRichEdit : public TRichEditControl {
    LUMETRA_CLASS(TQvCustomRichEdit, TRichEditControl)
public:
    explicit TQvCustomRichEdit(TComponent* owner);
    ~TQvCustomRichEdit() override;
    static void RegisterProperties(TClassBuilder<TQvCustomRichEdit>& b);

    TRichEditStrings& Lines() { return lines_; }
    TStrings* LinesProp() const { return const_cast<TRichEditStrings*>(&lines_); }
    void SetLines(TStrings* value);
    TQvTextAttributes& SelAttributes() { return selAttributes_; }
    TQvTextAttributes& DefAttributes() { return defAttributes_; }
    TQvTextAttributes& WordAttributes() { return wordAttributes_; }
    TQvParaAttributes& Paragraph() { return paragraph_; }

    // ---- selection
    int SelStart() const;
    void SetSelStart(int value);
    int SelLength() const;
    void SetSelLength(int value);
    std::string SelText() const;
    // Replaces the selection as typing would; the caret ends behind the new text.
    void SetSelText(const std::string& text);
    void SelectAll();
    int CaretLine() const;
    int CaretColumn() const;
    void Clear();
    std::string Text() const;
    void SetText(const std::string& text);

    // ---- clipboard: plain text and "text/rtf"
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();

    // ---- properties
    bool PlainText() const { return plainText_; }
    virtual void SetPlainText(bool value);
    bool AutoURLDetect() const;
    void SetAutoURLDetect(bool value);
    int UndoLimit() const { return undoLimit_; }
    void SetUndoLimit(int value);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int value) { maxLength_ = value; }
    // 16,777,215 for MaxLength 0.
    int TextLimit() const { return maxLength_ == 0 ? 0xFFFFFF : maxLength_; }
    bool Modified() const { return document_->Modified(); }
    void SetModified(bool value) { document_->SetModified(value); }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value) { hideSelection_ = value; }
    bool HideScrollBars() const { return hideScrollBars_; }
    void SetHideScrollBars(bool value) { hideScrollBars_ = value; }
    bool SelectionBar() const { return selectionBar_; }
    void SetSelectionBar(bool value) { selectionBar_ = value; }
    bool WordSelection() const { return wordSelection_; }
    void SetWordSelection(bool value) { wordSelection_ = value; }
    bool AllowObjects() const { return allowObjects_; }
    void SetAllowObjects(bool value) { allowObjects_ = value; }
    bool AllowInPlace() const { return allowInPlace_; }
    void SetAllowInPlace(bool value) { allowInPlace_ = value; }
    bool AutoVerbMenu() const { return autoVerbMenu_; }
    void SetAutoVerbMenu(bool value) { autoVerbMenu_ = value; }
    TRichLangOptions LangOptions() const { return langOptions_; }
    void SetLangOptions(TRichLangOptions value) { langOptions_ = value; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value) { title_ = value; }
    TRichStreamFormat StreamFormat() const { return lines_.StreamFormat(); }
    void SetStreamFormat(TRichStreamFormat v) { lines_.SetStreamFormat(v); }
    TRichStreamModes StreamMode() const { return lines_.StreamMode(); }
    void SetStreamMode(TRichStreamModes v) { lines_.SetStreamMode(v); }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value) { wordWrap_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }

    // ---- link clicks: a press and a release of one button on the same link make one click
    void LinkMouse(TMouseButton button, bool down, int position);

    // ---- embedded objects. There is no object server here: objects keep their bytes and show
    // their stored picture, and cannot be opened.
    // The class of the object the selection is exactly (e.g. "Paint.Picture"); empty when the
    // selection is not one object.
    std::string SelectedObjectClass() const;
    // The menu a right click shows: the control's own PopupMenu, and, when AutoVerbMenu is set
    // and one object is selected, an item that says the object cannot be opened here (after a
    // separator when the own menu has items). The items added are the control's and are made
    // anew on every request.
    TPopupMenu* ObjectPopupMenu();

    // Prints the whole text through the current printer, page after page; Caption titles the
    // print job.
    virtual void Print(const std::string& caption);

    TNotifyEvent OnChange;
    TNotifyEvent OnSelectionChange;
    TRichEditResizeEvent OnResizeRequest;
    TRichEditProtectChange OnProtectChange;
    TRichEditProtectChangeEx OnProtectChangeEx;
    TRichEditSaveClipboard OnSaveClipboard;
    TRichEditURLClickEvent OnURLClick;
    TRichEditFindErrorEvent OnTextNotFound;

    // The menu a right click shows (ObjectPopupMenu).
    TPopupMenu* ContextPopupMenu() override { return ObjectPopupMenu(); }

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // Typing and the editor's keys: refused when read-only, cut to MaxLength.
    void EditorInput(std::u16string_view text) override;
    void EditorAction(TRichEditorAction action) override;
    void DocumentChanged() override;
    void DocumentSelectionChanged() override;
    // A click on a link in the editor.
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    virtual void DoSelectionChange();
    virtual bool DoProtectChange(unsigned message, int startPos, int endPos);
    virtual bool DoSaveClipboard(int numObjects, int numChars);
    virtual void DoURLClick(const std::string& url, TMouseButton button);
    virtual void DoResizeRequest(const TRect& rect);
    virtual void DoTextNotFound(const std::string& text);

private:
    friend class TRichEditStrings;
    void dropAddedItems();
    void replaceTyped(std::u16string_view text);
    // Replacement made by the line list itself: never undoable.
    bool internalReplace(std::u16string_view text);

    TRichDocument* const document_;
    TQvTextAttributes selAttributes_, defAttributes_, wordAttributes_;
    TQvParaAttributes paragraph_;
    TRichEditStrings lines_;
    bool hideScrollBars_ = true, selectionBar_ = true, autoURLDetect_ = true, wordSelection_ = true,
         plainText_ = false, hideSelection_ = true, allowObjects_ = true, allowInPlace_ = true,
         autoVerbMenu_ = true, wordWrap_ = true, readOnly_ = false;
    int undoLimit_ = 100;
    int maxLength_ = 0;
    TRichLangOptions langOptions_ = 1u << rlAutoFont;
    std::string title_;
    int linkStart_ = -1, linkEnd_ = -1;
    std::unique_ptr<TPopupMenu> verbMenu_;
    std::vector<TMenuItem*> addedItems_;
    TMouseButton linkButton_ = mbLeft;
};

class TQvRichEdit : public TQvCustomRichEdit {
    LUMETRA_CLASS(TQvRichEdit, TQvCustomRichEdit)
public:
    using TQvCustomRichEdit::TQvCustomRichEdit;
};

// Writes the source's content into a memory stream and loads the target from it.
void CopyRichText(TQvCustomRichEdit& source, TQvCustomRichEdit& target);

// Enters the control classes by name.
void RegisterRichEditClasses();

#pragma once
// TRichEditControl: the base of rich-edit controls. It holds a rich document and stays
// windowless (a report's rich view lays the document out and draws it itself) until it is
// placed on a parent; from then on an editor shows the same document. The editor moves the
// caret and the selection on its own; typing, deleting, pasting and undo come to the control as
// calls, so what the control enforces (read-only, limits, protection, undo levels) holds for
// the keyboard as it does for code.

#include <memory>
#include <string_view>

#include "platform/ui/control.h"

class TRichDocument;

enum TRichEditorAction { eaUndo, eaRedo, eaCut, eaCopy, eaPaste };

class TRichEditControl : public TWinControl {
    LUMETRA_CLASS(TRichEditControl, TWinControl)
public:
    explicit TRichEditControl(TComponent* owner);
    ~TRichEditControl() override;

    TRichDocument& Document() { return *document_; }
    const TRichDocument& Document() const { return *document_; }
    // Whether an editor shows the document: the control has been placed on a parent.
    bool HasEditor() const { return editor_ != nullptr; }
    // The position of the character nearest to a point of the client area; -1 without an
    // editor.
    int CharFromPoint(int x, int y) const;

protected:
    // Text from the editor for the selection: a typed character, an input method's commit,
    // CR for Enter, a tab, or nothing for a deletion (the editor has selected what goes). The
    // base replaces the selection as an undoable edit and leaves the caret behind it.
    virtual void EditorInput(std::u16string_view text);
    // Undo and redo act on the document here; the clipboard actions are the derived control's.
    virtual void EditorAction(TRichEditorAction action);
    // The document's text or selection changed, by the editor or by code.
    virtual void DocumentChanged() {}
    virtual void DocumentSelectionChanged() {}
    void WidgetNeeded() override;

private:
    class Editor;
    std::unique_ptr<TRichDocument> document_;
    Editor* editor_ = nullptr; // the control's widget once there is one
};

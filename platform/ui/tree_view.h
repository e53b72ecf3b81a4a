#pragma once
// TTreeView: a tree of text nodes, each with an image index, a state index and a data
// pointer (the preview's outline keeps a page and a position there).

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/control.h"

class QTreeWidgetItem;
class TTreeView;
class TTreeNodes;

class TTreeNode {
public:
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int value) { imageIndex_ = value; }
    int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int value) { selectedIndex_ = value; }
    int StateIndex() const { return stateIndex_; }
    void SetStateIndex(int value) { stateIndex_ = value; }
    void* Data() const { return data_; }
    void SetData(void* value) { data_ = value; }

    TTreeNode* Parent() const { return parent_; }
    int Count() const { return static_cast<int>(children_.size()); }
    TTreeNode* Item(int index) const;
    bool HasChildren() const { return !children_.empty(); }
    // Position among its siblings; depth below the top level (0).
    int Index() const;
    int Level() const;
    TTreeNode* GetFirstChild() const { return children_.empty() ? nullptr : children_.front(); }
    TTreeNode* GetNextSibling() const;
    // The next node in display order (children first).
    TTreeNode* GetNext() const;

    bool Expanded() const;
    void SetExpanded(bool value);
    void Expand(bool recurse);
    void Collapse(bool recurse);
    bool Selected() const;
    void SetSelected(bool value);
    void MakeVisible();
    TTreeView* TreeView() const { return tree_; }

private:
    friend class TTreeNodes;
    friend class TTreeView;
    TTreeNode() = default;
    TTreeView* tree_ = nullptr;
    TTreeNode* parent_ = nullptr;
    std::vector<TTreeNode*> children_;
    QTreeWidgetItem* item_ = nullptr;
    std::string text_;
    int imageIndex_ = -1;
    int selectedIndex_ = -1;
    int stateIndex_ = -1;
    void* data_ = nullptr;
};

class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* tree) : tree_(tree) {}
    ~TTreeNodes();
    TTreeNodes(const TTreeNodes&) = delete;
    TTreeNodes& operator=(const TTreeNodes&) = delete;

    // All nodes, in display order.
    int Count() const;
    TTreeNode* Item(int index) const;
    TTreeNode* GetFirstNode() const { return top_.empty() ? nullptr : top_.front(); }
    // A node after the last sibling of sibling (at the top level when sibling is null).
    TTreeNode* Add(TTreeNode* sibling, const std::string& text);
    TTreeNode* AddObject(TTreeNode* sibling, const std::string& text, void* data);
    // A node after the last child of parent (at the top level when parent is null).
    TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
    TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
    // Deletes a node with its children.
    void Delete(TTreeNode* node);
    void Clear();
    void BeginUpdate();
    void EndUpdate();
    TTreeNode* FromItem(const QTreeWidgetItem* item) const;

private:
    friend class TTreeNode;
    void Forget(TTreeNode* node);
    TTreeView* tree_;
    std::vector<TTreeNode*> top_;
    std::vector<std::unique_ptr<TTreeNode>> all_;
    int updateCount_ = 0;
};

class TTreeView : public TWinControl {
    LUMETRA_CLASS(TTreeView, TWinControl)
public:
    explicit TTreeView(TComponent* owner);
    ~TTreeView() override;
    static void RegisterProperties(TClassBuilder<TTreeView>& b);
    TTreeNodes& Items() { return *items_; }
    TTreeNode* Selected() const;
    void SetSelected(TTreeNode* node);
    TTreeNode* TopItem() const;
    void SetTopItem(TTreeNode* node);
    void FullExpand();
    void FullCollapse();
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value) { hideSelection_ = value; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value) { readOnly_ = value; }
    bool ShowLines() const { return showLines_; }
    void SetShowLines(bool value);
    bool ShowRoot() const { return showRoot_; }
    void SetShowRoot(bool value);

    // After the selection moved (by the user or by code).
    std::function<void(TObject* sender, TTreeNode* node)> OnChange;

    void SelectionMoved();

protected:
    TColor DefaultColor() const override { return clWindow; }

private:
    std::unique_ptr<TTreeNodes> items_;
    bool hideSelection_ = true;
    bool readOnly_ = false;
    bool showLines_ = true;
    bool showRoot_ = true;
    bool clearing_ = false;
    friend class TTreeNodes;
};

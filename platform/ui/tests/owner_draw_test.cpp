// Owner-drawn combo and list box items: the handler paints each item on the control's canvas,
// with its rectangle and state, and variable heights come from the measuring handler.

#include <QComboBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>

#include "platform/graphics/raster_canvas.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"
#include "ui_test_support.h"

namespace {

class OwnerDrawTest : public UiTest {};

struct Drawn {
    int index;
    TRect rect;
    TOwnerDrawState state;
    TColor brush;
};

const TColor kInk[] = {clRed, clLime, clBlue};

TDrawItemEvent Recorder(std::vector<Drawn>& log) {
    return [&log](TWinControl* control, int index, const TRect& rect, TOwnerDrawState state) {
        TCanvas* c = control->Name() == "combo" ? static_cast<TCustomComboBox*>(control)->Canvas()
                                                : static_cast<TCustomListBox*>(control)->Canvas();
        log.push_back({index, rect, state, c->Brush().Color()});
        c->Brush().SetColor(kInk[index % 3]);
        c->FillRect(Rect(rect.Left, rect.Top, rect.Right, rect.Bottom));
    };
}

// The last drawing of each index.
std::map<int, Drawn> Last(const std::vector<Drawn>& log) {
    std::map<int, Drawn> m;
    for (const Drawn& d : log)
        m[d.index] = d;
    return m;
}

std::uint32_t Rgb(TColor c) {
    c = ColorToRGB(c);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

TEST_F(OwnerDrawTest, ListBoxItemsAreDrawnByTheHandlerAtFixedOrMeasuredHeights) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 300);
    auto* list = new TListBox(&form);
    list->SetParent(&form);
    list->SetBounds(0, 0, 150, 150);
    list->Items().SetText("a\nb\nc\n");
    list->SetItemHeight(20);
    list->SetStyle(lbOwnerDrawFixed);
    std::vector<Drawn> log;
    list->OnDrawItem = Recorder(log);
    list->SetItemIndex(1);
    form.Show();

    TRasterImage shot = list->GrabImage();
    auto drawn = Last(log);
    ASSERT_EQ(drawn.size(), 3u);
    const QPoint o = static_cast<QListWidget*>(list->Widget())->viewport()->pos();
    for (int i = 0; i < 3; ++i) {
        const TRect r = drawn[i].rect;
        EXPECT_EQ(r.Height(), 20) << i;
        EXPECT_EQ(r.Top, drawn[0].rect.Top + 20 * i) << i;
        EXPECT_EQ(list->ItemRect(i), r) << i;
        EXPECT_EQ(shot.At(o.x() + r.Left + 5, o.y() + r.Top + 10) & 0xFFFFFFu, Rgb(kInk[i])) << i;
    }
    // The chosen item comes selected, on the highlight brush; the others on the list's colour.
    EXPECT_TRUE(drawn[1].state & odSelected);
    EXPECT_EQ(drawn[1].brush, clHighlight);
    EXPECT_FALSE(drawn[0].state & odSelected);
    EXPECT_EQ(drawn[0].brush, clWindow);
    EXPECT_NE(list->Canvas(), nullptr); // outside drawing it measures
    EXPECT_GT(list->Canvas()->TextWidth("abc"), 0);

    list->SetStyle(lbOwnerDrawVariable);
    list->OnMeasureItem = [](TWinControl*, int index, int& height) { height = 10 * (index + 1); };
    list->SetItemHeight(20); // heights are asked again
    log.clear();
    (void)list->GrabImage();
    drawn = Last(log);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].rect.Height(), 10);
    EXPECT_EQ(drawn[1].rect.Height(), 20);
    EXPECT_EQ(drawn[2].rect.Height(), 30);
    EXPECT_EQ(drawn[2].rect.Top, drawn[0].rect.Top + 30);

    // Any canvas can take an item, drawn the same way.
    TRasterCanvas canvas(100, 40);
    list->PaintItem(canvas, 2, Rect(0, 10, 100, 30), odSelected);
    EXPECT_EQ(canvas.Pixel(50, 20), clBlue);
    EXPECT_EQ(canvas.Pixel(50, 5), clWhite);
    EXPECT_EQ(log.back().brush, clHighlight);

    // Without a handler the item text is drawn; a failing handler reaches the application.
    list->SetStyle(lbOwnerDrawFixed);
    list->OnDrawItem = nullptr;
    list->SetItemIndex(-1);
    shot = list->GrabImage();
    const TRect r0 = list->ItemRect(0);
    int ink = 0;
    for (int y = r0.Top; y < r0.Bottom; ++y)
        for (int x = r0.Left; x < r0.Left + 12; ++x)
            if ((shot.At(o.x() + x, o.y() + y) & 0xFFFFFFu) != Rgb(clWindow)) ++ink;
    EXPECT_GT(ink, 3);
    int failures = 0;
    Application()->OnException = [&](TObject*, const std::exception&) { ++failures; };
    list->OnDrawItem = [](TWinControl*, int, const TRect&, TOwnerDrawState) {
        throw EConvertError("bad item");
    };
    (void)list->GrabImage();
    EXPECT_GE(failures, 3);
}

TEST_F(OwnerDrawTest, OwnerDrawnComboIsListOnlyAndDrawsItsFaceAndList) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* combo = new TComboBox(&form);
    combo->SetName("combo");
    combo->SetParent(&form);
    combo->SetBounds(0, 0, 150, 24);
    combo->Items().SetText("a\nb\nc\n");
    combo->SetStyle(csOwnerDrawFixed);
    combo->SetItemHeight(18);
    auto* w = static_cast<QComboBox*>(combo->Widget());
    EXPECT_FALSE(w->isEditable());
    std::vector<Drawn> log;
    combo->OnDrawItem = Recorder(log);
    combo->SetItemIndex(2);
    form.Show();

    const TRasterImage shot = combo->GrabImage();
    ASSERT_FALSE(log.empty());
    const Drawn face = log.back();
    EXPECT_EQ(face.index, 2);
    EXPECT_TRUE(face.state & odComboBoxEdit);
    EXPECT_EQ(
        shot.At((face.rect.Left + face.rect.Right) / 2, (face.rect.Top + face.rect.Bottom) / 2) &
            0xFFFFFFu,
        Rgb(clBlue));

    // The list's items: the delegate sizes them by ItemHeight and has the handler draw them.
    log.clear();
    // The popup is never shown offscreen: its view's delegate is asked as the view would.
    log.clear();
    QAbstractItemDelegate* delegate = w->view()->itemDelegate();
    QImage list(150, 60, QImage::Format_RGB32);
    list.fill(Qt::white);
    {
        QPainter painter(&list);
        for (int row = 0; row < 3; ++row) {
            QStyleOptionViewItem opt;
            opt.rect = QRect(0, row * 18, 150, 18);
            opt.state =
                QStyle::State_Enabled | (row == 1 ? QStyle::State_Selected : QStyle::State_None);
            const QModelIndex index = w->model()->index(row, 0);
            EXPECT_EQ(delegate->sizeHint(opt, index).height(), 18);
            delegate->paint(&painter, opt, index);
        }
    }
    auto drawn = Last(log);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_FALSE(drawn[0].state & odComboBoxEdit);
    EXPECT_TRUE(drawn[1].state & odSelected);
    EXPECT_EQ(drawn[1].rect, Rect(0, 18, 150, 36));
    EXPECT_EQ(list.pixel(5, 18 + 9) & 0xFFFFFFu, Rgb(clLime));

    combo->SetStyle(csDropDown); // back to an editable box drawn by the toolkit
    EXPECT_TRUE(w->isEditable());
    combo->SetStyle(csDropDown);
    int changes = 0;
    combo->OnChange = [&](TObject*) { ++changes; };
    SendKey(w->lineEdit(), Qt::Key_X, "x");
    EXPECT_EQ(changes, 1); // typing still reaches OnChange, once
    log.clear();
    (void)combo->GrabImage();
    EXPECT_TRUE(log.empty());
}

// A box with a face of its own paints all of it and puts the edit where it says; the mouse
// over it is known to the face.
class PaintedFaceCombo : public TComboBox {
public:
    explicit PaintedFaceCombo(TComponent* owner) : TComboBox(owner) {}
    bool PaintFace(TCanvas& canvas) override {
        ++paints;
        canvas.Brush().SetColor(MouseOverFace() ? clBlue : clRed);
        canvas.FillRect(TRect(0, 0, Width(), Height()));
        return true;
    }
    std::optional<TRect> FaceEditRect() const override { return TRect(20, 4, 60, 16); }
    int paints = 0;
};

TEST_F(OwnerDrawTest, AComboWithItsOwnFacePaintsItAndPlacesTheEdit) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* combo = new PaintedFaceCombo(&form);
    combo->SetParent(&form);
    combo->SetBounds(10, 10, 120, 21);
    form.Show();
    QApplication::processEvents();
    TRasterImage shot = combo->GrabImage();
    EXPECT_GT(combo->paints, 0);
    EXPECT_EQ(shot.At(2, 2) & 0xFFFFFF, Rgb(clRed));
    EXPECT_EQ(shot.At(115, 18) & 0xFFFFFF, Rgb(clRed));
    auto* edit = static_cast<QComboBox*>(combo->Widget())->lineEdit();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->geometry(), QRect(20, 4, 40, 12));
    combo->SetBounds(10, 10, 200, 30); // the toolkit places the edit again: ours stays
    QApplication::processEvents();
    EXPECT_EQ(edit->geometry(), QRect(20, 4, 40, 12));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(combo->Widget(), &enter);
    EXPECT_TRUE(combo->MouseOverFace());
    shot = combo->GrabImage();
    EXPECT_EQ(shot.At(2, 2) & 0xFFFFFF, Rgb(clBlue));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(combo->Widget(), &leave);
    EXPECT_FALSE(combo->MouseOverFace());
}

} // namespace

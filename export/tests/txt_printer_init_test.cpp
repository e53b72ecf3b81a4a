// The dot-matrix print dialog and its printer-initialisation templates: the template's bytes,
// what a load changes and what it refuses without changing anything, and the dialog shown
// modally offscreen over recorded printers (printer choice and its undoing, printer types and
// command switches, copies, the template buttons, the drawn printer list).

#include "export/txt_printer_init.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/printer_properties_dialog.h"
#include "engine/printers.h"
#include "engine/tests/modal_steps.h"
#include "export/txt_export.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/safe_file.h"
#include "platform/core/tests/temp_dir.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/application.h"
#include "platform/ui/check_list_box.h"
#include "platform/ui/containers.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/message_reporter.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_input.h"
#include "report/module_startup.h"
#include "report/resources.h"

namespace {

constexpr int kNone = 0, kEpson = 1, kHp = 2, kCanon = 3;
// EPSON command positions.
constexpr int kReset = 0, kNormal = 1, kPica = 2, kCondensed = 4, kBold = 5, kItalic = 6, kWide = 7;

std::string text(int id) {
    return GetResources().GetTextById(id);
}

class TxtExportFixture : public ::testing::Test {
protected:
    void SetUp() override { StartModules(); }
    std::vector<TpgwTXTPrinterCommand>& commands(int type) {
        return filter.PrinterTypes()[static_cast<std::size_t>(type)].Commands;
    }
    // The switches of a type as x (on) and . (off).
    std::string switches(int type) {
        std::string s;
        for (const TpgwTXTPrinterCommand& c : commands(type))
            s += c.Enabled ? 'x' : '.';
        return s;
    }

    TempDir dir;
    TpgwTXTExport filter{TpgwCustomExportFilter::UnlistedTag{}};
};

// ---- the template file

class PrinterInitTemplate : public TxtExportFixture {};

TEST_F(PrinterInitTemplate, SavesTheTypeAndOneSwitchPerCommandWithCrLf) {
    filter.SetPrinterTypeIndex(kEpson);
    commands(kEpson)[kBold].Enabled = true;
    commands(kEpson)[kCondensed].Enabled = true;
    SavePrinterInitTemplate(filter, dir / "epson.pgi");
    EXPECT_EQ(TempDir::ReadAll(dir / "epson.pgi"),
              "1\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\nTrue\r\nTrue\r\nFalse\r\nFalse\r\n"
              "False\r\nFalse\r\nFalse\r\nFalse\r\n");

    filter.SetPrinterTypeIndex(kNone);
    SavePrinterInitTemplate(filter, dir / "none.pgi");
    EXPECT_EQ(TempDir::ReadAll(dir / "none.pgi"), "0\r\n");

    // Read back into a fresh export: the same switches and the string they make.
    TpgwTXTExport other{TpgwCustomExportFilter::UnlistedTag{}};
    LoadPrinterInitTemplate(other, dir / "epson.pgi");
    EXPECT_EQ(other.PrinterTypeIndex(), kEpson);
    std::string on;
    for (const TpgwTXTPrinterCommand& c : other.PrinterTypes()[kEpson].Commands)
        on += c.Enabled ? 'x' : '.';
    EXPECT_EQ(on, "....xx......");
    EXPECT_EQ(other.InitString(), std::string("\x0F\x1B\x47\x1B\x35\x1B\x57\x00\x1B\x50", 10));
}

TEST_F(PrinterInitTemplate, ALoadChangesOnlyTheCommandsItHasLinesFor) {
    filter.SetPrinterTypeIndex(kHp);
    commands(kEpson)[kItalic].Enabled = true;
    commands(kEpson)[kWide].Enabled = true;
    commands(kEpson)[kPica].Enabled = true;
    // "True" counts inside a longer word and in any line end; "true" does not.
    TempDir::WriteAll(dir / "short.pgi", "1\r\nxTruex\ntrue\r\nFalse");
    LoadPrinterInitTemplate(filter, dir / "short.pgi");
    EXPECT_EQ(filter.PrinterTypeIndex(), kEpson);
    EXPECT_EQ(switches(kEpson), "x.....xx....");
    EXPECT_EQ(filter.InitString(), std::string("\x1B\x40\x12\x1B\x48\x1B\x34\x1B\x57\x01\x1B\x50"));
}

TEST_F(PrinterInitTemplate, ARefusedLoadChangesNothing) {
    struct Case {
        const char* name;
        const char* content; // null: no such file
        std::function<void()> expectThrow;
    };
    filter.SetPrinterTypeIndex(kCanon);
    commands(kCanon)[kReset].Enabled = true;
    commands(kEpson)[kNormal].Enabled = true;
    filter.SetInitString("before");
    const std::string file = dir / "t.pgi";
    auto load = [&] { LoadPrinterInitTemplate(filter, file); };
    const Case cases[] = {
        {"an index beyond the types", "4\r\nTrue\r\n",
         [&] {
             try {
                 load();
                 ADD_FAILURE() << "loaded";
             } catch (const EConvertError&) {
                 ADD_FAILURE() << "not a conversion error";
             } catch (const Exception& e) {
                 EXPECT_NE(e.Message().find("printer type 4"), std::string::npos) << e.Message();
                 EXPECT_NE(e.Message().find(file), std::string::npos) << e.Message();
             }
         }},
        {"a negative index", "-1\r\nTrue\r\n", [&] { EXPECT_THROW(load(), Exception); }},
        {"a first line that is no number", "EPSON\r\nTrue\r\n",
         [&] { EXPECT_THROW(load(), EConvertError); }},
        {"an empty file", "", [&] { EXPECT_THROW(load(), EConvertError); }},
        {"no file", nullptr, [&] { EXPECT_THROW(load(), EFOpenError); }},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        if (c.content) TempDir::WriteAll(file, c.content);
        c.expectThrow();
        EXPECT_EQ(filter.PrinterTypeIndex(), kCanon) << c.name;
        EXPECT_EQ(switches(kCanon), "x.......") << c.name;
        EXPECT_EQ(switches(kEpson), ".x..........") << c.name;
        EXPECT_EQ(filter.InitString(), "before") << c.name;
    }
}

TEST_F(PrinterInitTemplate, ASaveThatCannotBeMadeRaisesAndWritesNothing) {
    filter.SetPrinterTypeIndex(MaxTXTPrinterTypes);
    EXPECT_THROW(SavePrinterInitTemplate(filter, dir / "bad.pgi"), Exception);
    filter.SetPrinterTypeIndex(kEpson);
    EXPECT_THROW(SavePrinterInitTemplate(filter, dir / "missing/folder.pgi"), EFCreateError);
    EXPECT_EQ(dir.EntryCount(), 0u);
}

// ---- the dialog

class PrinterInitDialog : public TxtExportFixture {
protected:
    void SetUp() override {
        TxtExportFixture::SetUp();
        Application()->ResetTerminated();
    }
    void TearDown() override { Application()->ProcessMessages(); }

    using Step = std::function<void(TpgwPrnInit&)>;
    // Shows the dialog as the export does; each step runs from its event loop, one after the
    // other. The copies chosen on OK, else 0.
    int show(std::vector<Step> steps) {
        queue(std::move(steps), 0);
        const int copies = ShowPrinterInitDialog(filter);
        Application()->ProcessMessages();
        return copies;
    }
    static void queue(std::vector<Step> steps, std::size_t i) {
        Application()->QueueCall([steps = std::move(steps), i]() mutable {
            auto* d = dynamic_cast<TpgwPrnInit*>(ModalForm());
            if (!d) return;
            if (i >= steps.size()) {
                ADD_FAILURE() << "the dialog is still open";
                d->Cancel->Click();
                return;
            }
            steps[i](*d);
            queue(std::move(steps), i + 1);
        });
    }
    static void pick(TComboBox* list, int index) {
        list->SetItemIndex(index);
        list->Selected();
    }
    static void ok(TpgwPrnInit& d) { d.OK->Click(); }
    static void cancel(TpgwPrnInit& d) { d.Cancel->Click(); }
    static std::vector<std::string> items(TStrings& list) {
        std::vector<std::string> v;
        for (int i = 0; i < list.Count(); ++i)
            v.push_back(list.Strings(i));
        return v;
    }
    static std::string boxes(TCheckListBox& list) {
        std::string s;
        for (int i = 0; i < list.Items().Count(); ++i)
            s += list.Checked(i) ? 'x' : '.';
        return s;
    }

    TScopedReporter scope{std::make_unique<TRecordingReporter>()};
    TRecordingReporter& reporter = static_cast<TRecordingReporter&>(MessageReporter());
    TpgwScopedPrinters printers{std::vector<std::string>{"Office", "Plotter", "Labels"}};
};

TEST_F(PrinterInitDialog, ShowsTheExportsTypeAndSwitchesAndChangesThemAsChosen) {
    filter.SetPrinterTypeIndex(kEpson);
    commands(kEpson)[kBold].Enabled = true;
    commands(kCanon)[kItalic].Enabled = true;
    GetPrinters()->SelectPrinter(1);
    show({[&](TpgwPrnInit& d) {
        EXPECT_EQ(d.Caption(), "打印");
        EXPECT_EQ(d.PropButton->Caption(), text(8403));
        EXPECT_EQ(d.GroupBox2->Caption(), text(8406));
        EXPECT_EQ(items(d.CB1->Items()), (std::vector<std::string>{"Office", "Plotter", "Labels"}));
        EXPECT_EQ(d.CB1->ItemIndex(), 1);
        EXPECT_EQ(d.E1->Text(), "1");
        ASSERT_EQ(d.ComboBox1->Items().Count(), 4);
        EXPECT_EQ(d.ComboBox1->Items().Strings(kHp), "HP PCL (LaserJet/DeskJet)");
        EXPECT_EQ(d.ComboBox1->ItemIndex(), kEpson);
        EXPECT_EQ(d.CheckListBox1->Items().Count(), 12);
        EXPECT_EQ(d.CheckListBox1->Items().Strings(kBold), "Bold");
        EXPECT_EQ(boxes(*d.CheckListBox1), ".....x......");

        pick(d.ComboBox1, kCanon);
        EXPECT_EQ(filter.PrinterTypeIndex(), kCanon);
        EXPECT_EQ(items(d.CheckListBox1->Items()).back(), "12cpi");
        EXPECT_EQ(boxes(*d.CheckListBox1), "......x.");
        // Space on the current item toggles it; its command follows at once.
        d.CheckListBox1->SetItemIndex(kBold);
        PressKey(*d.CheckListBox1, VK_SPACE);
        EXPECT_EQ(switches(kCanon), ".....xx.");
        d.CheckListBox1->SetItemIndex(kItalic);
        PressKey(*d.CheckListBox1, VK_SPACE);
        EXPECT_EQ(switches(kCanon), ".....x..");
        EXPECT_EQ(switches(kEpson), ".....x......") << "another type's switches stay";

        pick(d.ComboBox1, kNone);
        EXPECT_EQ(d.CheckListBox1->Items().Count(), 0);
        ok(d);
    }});
    EXPECT_EQ(filter.PrinterTypeIndex(), kNone);
}

TEST_F(PrinterInitDialog, OkReturnsTheCopiesAndCancelNone) {
    struct Case {
        std::function<void(TpgwPrnInit&)> enter;
        int expected;
    };
    const Case cases[] = {
        {[](TpgwPrnInit&) {}, 1},
        {[](TpgwPrnInit& d) { d.E1->SetText("12"); }, 12},
        {[](TpgwPrnInit& d) { d.E1->SetText("12345"); }, 9999},
        {[](TpgwPrnInit& d) { d.E1->SetText("0"); }, 1},
        {[](TpgwPrnInit& d) { d.E1->SetText(""); }, 1},
        {[](TpgwPrnInit& d) {
             d.UpDown1->Step(btNext);
             d.UpDown1->Step(btNext);
         },
         3},
    };
    for (const Case& c : cases) {
        const int copies = show({[&](TpgwPrnInit& d) {
            c.enter(d);
            ok(d);
        }});
        EXPECT_EQ(copies, c.expected);
    }
    EXPECT_EQ(show({[](TpgwPrnInit& d) {
                  d.E1->SetText("5");
                  cancel(d);
              }}),
              0);
}

TEST_F(PrinterInitDialog, APrinterChosenIsCurrentAtOnceAndCancelPutsTheEarlierBack) {
    TpgwPrinterPropertiesRequest asked;
    const TpgwPrinterPropertiesHandler old =
        SetPrinterPropertiesHandler([&](TpgwPrinterPropertiesRequest& request) {
            asked = request;
            return false;
        });
    GetPrinters()->SelectPrinter(2);
    show({[&](TpgwPrnInit& d) {
        for (int index : {0, 1}) {
            pick(d.CB1, index);
            EXPECT_EQ(GetPrinters()->PrinterIndex(), index);
        }
        d.PropButton->Click();
        EXPECT_EQ(asked.PrinterName, "Plotter") << "the properties of the chosen printer";
        cancel(d);
    }});
    EXPECT_EQ(GetPrinters()->PrinterIndex(), 2);
    EXPECT_EQ(GetPrinters()->Printer()->Name(), "Labels");

    show({[&](TpgwPrnInit& d) {
        pick(d.CB1, 0);
        ok(d);
    }});
    EXPECT_EQ(GetPrinters()->PrinterIndex(), 0) << "OK keeps the printer chosen";
    SetPrinterPropertiesHandler(old);
}

TEST_F(PrinterInitDialog, TheTemplateButtonsLoadAndSaveThroughTheFileDialogs) {
    TempDir::WriteAll(dir / "hp.pgi", "2\r\nFalse\r\nTrue\r\nFalse\r\nTrue\r\n");
    TempDir::WriteAll(dir / "bad.pgi", "9\r\n");
    auto answer = [&](const std::string& name) {
        TRecordingReporter::DialogAnswer a;
        a.Confirmed = true;
        a.FileName = dir / name;
        reporter.QueueDialogAnswer(a);
    };
    filter.SetPrinterTypeIndex(kEpson);
    show({[&](TpgwPrnInit& d) {
              answer("hp.pgi");
              d.Button1->Click();
              ASSERT_EQ(reporter.Dialogs.size(), 1u);
              EXPECT_EQ(reporter.Dialogs[0].Kind, TDialogKind::OpenFile);
              EXPECT_EQ(reporter.Dialogs[0].DefaultExt, "pgi");
              EXPECT_EQ(reporter.Dialogs[0].Filter, "打印机初始化样版 (*.pgi)|*.pgi");
              EXPECT_EQ(d.ComboBox1->ItemIndex(), kHp);
              EXPECT_EQ(boxes(*d.CheckListBox1), ".x.x..");
              EXPECT_EQ(filter.InitString().substr(0, 5), "\x1B&l1O") << "rebuilt";

              // A refused template is shown as an error and leaves the dialog as it was.
              answer("bad.pgi");
              d.Button1->Click();
              ASSERT_EQ(reporter.Boxes.size(), 1u);
              EXPECT_TRUE(reporter.Boxes[0].IsErrorBox);
              EXPECT_NE(reporter.Boxes[0].Text.find("printer type 9"), std::string::npos);
              EXPECT_EQ(d.ComboBox1->ItemIndex(), kHp);
              EXPECT_EQ(filter.PrinterTypeIndex(), kHp);

              pick(d.ComboBox1, kCanon);
              d.CheckListBox1->SetItemIndex(0);
              PressKey(*d.CheckListBox1, VK_SPACE);
              answer("canon.pgi");
              d.Button2->Click();
              ASSERT_EQ(reporter.Dialogs.size(), 3u);
              EXPECT_EQ(reporter.Dialogs[2].Kind, TDialogKind::SaveFile);
              EXPECT_EQ(reporter.Dialogs[2].DefaultExt, "pgi");

              // A cancelled file dialog does nothing.
              d.Button1->Click();
              EXPECT_EQ(filter.PrinterTypeIndex(), kCanon);
          },
          cancel});
    EXPECT_EQ(TempDir::ReadAll(dir / "canon.pgi"),
              "3\r\nTrue\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\nFalse\r\n");
}

TEST_F(PrinterInitDialog, PrinterItemsShowTheIconWithoutItsGreyThenTheName) {
    const std::string png = TempFolder() + "/lumetra-txt-printer-init-dialog.png";
    filter.SetPrinterTypeIndex(kEpson);
    commands(kEpson)[kBold].Enabled = true;
    show({[&](TpgwPrnInit& d) {
        // One item drawn onto a bitmap of its own, as the list and the box face draw it.
        TBitmap item(200, 16);
        d.CB1->PaintItem(item.Canvas(), 0, {0, 0, 200, 16}, 0);
        const TRasterImage image = item.ToImage();
        auto rgb = [&](int x, int y) { return image.At(x, y) & 0xFFFFFFu; };
        const std::uint32_t background = rgb(199, 15);
        EXPECT_EQ(rgb(0, 0), background);
        EXPECT_EQ(rgb(2, 0), background) << "the icon's grey is left out";
        int iconInk = 0, nameInk = 0, gap = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool ink = rgb(x, y) != background;
                if (x < 20) {
                    EXPECT_NE(rgb(x, y), 0x808080u) << x << "," << y;
                }
                if (!ink) continue;
                if (x < 2)
                    ADD_FAILURE() << "ink left of the icon at " << x << "," << y;
                else if (x < 20)
                    ++iconInk;
                else if (x < 24)
                    ++gap;
                else
                    ++nameInk;
            }
        EXPECT_GT(iconInk, 40);
        EXPECT_GT(nameInk, 20) << "the printer's name";
        EXPECT_EQ(gap, 0);

        d.E1->SetText("3");
        SaveImageAsPng(d.GrabImage(), png);
        cancel(d);
    }});
    EXPECT_GT(FileSize(png), 0);
}

} // namespace

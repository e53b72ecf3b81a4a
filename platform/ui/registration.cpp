// The control classes scripts and templates create by name.

#include <mutex>

#include "platform/core/persistent.h"
#include "platform/ui/containers.h"
#include "platform/ui/custom_control.h"
#include "platform/ui/db_grid.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extra_controls.h"
#include "platform/ui/form.h"
#include "platform/ui/image_list.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/timer.h"
#include "platform/ui/tool_bar.h"
#include "platform/ui/tree_view.h"

void RegisterStandardControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClasses<TForm, TDataModule, TPanel, TGroupBox, TLabel, TEdit, TMemo, TButton,
                        TBitBtn, TSpeedButton, TCheckBox, TRadioButton, TComboBox, TListBox,
                        TDateTimePicker, TPageControl, TTabSheet, TSplitter, TImage, TScrollBox,
                        TStatusBar, TProgressBar, TTreeView, TMainMenu, TPopupMenu, TMenuItem,
                        TCustomControl, TDBGrid, TTimer, TOpenDialog, TSaveDialog, TFontDialog,
                        TColorDialog, TUpDown, TImageList, TToolBar, TToolButton>();
    });
}

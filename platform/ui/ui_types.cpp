#include "platform/ui/ui_types.h"

#include "platform/core/properties.h"

const TTypeInfo& TypeInfoAlign() {
    static const TTypeInfo& t =
        DefineEnumType("TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"});
    return t;
}

const TTypeInfo& TypeInfoAnchors() {
    static const TTypeInfo& element =
        DefineEnumType("TAnchorKind", {"akLeft", "akTop", "akRight", "akBottom"});
    static const TTypeInfo& t = DefineSetType("TAnchors", element);
    return t;
}

const TTypeInfo& TypeInfoAlignment() {
    static const TTypeInfo& t =
        DefineEnumType("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
    return t;
}

const TTypeInfo& TypeInfoTextLayout() {
    static const TTypeInfo& t = DefineEnumType("TTextLayout", {"tlTop", "tlCenter", "tlBottom"});
    return t;
}

const TTypeInfo& TypeInfoBevelCut() {
    static const TTypeInfo& t =
        DefineEnumType("TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"});
    return t;
}

const TTypeInfo& TypeInfoScrollStyle() {
    static const TTypeInfo& t =
        DefineEnumType("TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"});
    return t;
}

const TTypeInfo& TypeInfoFormBorderStyle() {
    static const TTypeInfo& t =
        DefineEnumType("TFormBorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog",
                                            "bsToolWindow", "bsSizeToolWin"});
    return t;
}

const TTypeInfo& TypeInfoPosition() {
    static const TTypeInfo& t =
        DefineEnumType("TPosition", {"poDesigned", "poDefault", "poDefaultPosOnly",
                                     "poDefaultSizeOnly", "poScreenCenter", "poDesktopCenter",
                                     "poMainFormCenter", "poOwnerFormCenter"});
    return t;
}

const TTypeInfo& TypeInfoFormStyle() {
    static const TTypeInfo& t =
        DefineEnumType("TFormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"});
    return t;
}

const TTypeInfo& TypeInfoWindowState() {
    static const TTypeInfo& t =
        DefineEnumType("TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"});
    return t;
}

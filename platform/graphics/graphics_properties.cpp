// The published properties of fonts, pens and brushes, as templates and scripts see them.

#include "platform/core/properties.h"
#include "platform/graphics/brush.h"
#include "platform/graphics/font.h"
#include "platform/graphics/pen.h"

namespace {

const TTypeInfo& fontStyleType()
{
    static const TTypeInfo& t = DefineEnumType("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    return t;
}

const TTypeInfo& fontStylesType()
{
    static const TTypeInfo& t = DefineSetType("TFontStyles", fontStyleType());
    return t;
}

const TTypeInfo& penStyleType()
{
    static const TTypeInfo& t = DefineEnumType("TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot",
                                                             "psClear", "psInsideFrame", "psUserStyle", "psAlternate"});
    return t;
}

const TTypeInfo& penModeType()
{
    static const TTypeInfo& t =
        DefineEnumType("TPenMode", {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
                                    "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask",
                                    "pmNotMask", "pmXor", "pmNotXor"});
    return t;
}

const TTypeInfo& brushStyleType()
{
    static const TTypeInfo& t = DefineEnumType(
        "TBrushStyle", {"bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal", "bsCross", "bsDiagCross"});
    return t;
}

}  // namespace

void TFont::Assign(const TPersistent* source)
{
    if (const auto* font = dynamic_cast<const TFont*>(source)) {
        Assign(*font);
        return;
    }
    TPersistent::Assign(source);
}

void TPen::Assign(const TPersistent* source)
{
    if (const auto* pen = dynamic_cast<const TPen*>(source)) {
        Assign(*pen);
        return;
    }
    TPersistent::Assign(source);
}

void TBrush::Assign(const TPersistent* source)
{
    if (const auto* brush = dynamic_cast<const TBrush*>(source)) {
        Assign(*brush);
        return;
    }
    TPersistent::Assign(source);
}

void TFont::RegisterProperties(TClassBuilder<TFont>& b)
{
    b.Add("Charset", TypeInfoFontCharset(), &TFont::Charset, &TFont::SetCharset).Default(DEFAULT_CHARSET);
    b.Add("Color", TypeInfoColor(), &TFont::Color, &TFont::SetColor).Default(clWindowText);
    b.Add("Height", TypeInfoInteger(), &TFont::Height, &TFont::SetHeight).NoDefault();
    b.Add("Name", TypeInfoString(), [](TFont& f) { return f.Name(); },
          [](TFont& f, const std::string& name) { f.SetName(name); });
    b.Add("Orientation", TypeInfoInteger(), &TFont::Orientation, &TFont::SetOrientation).Default(0);
    // Size follows Height; storing both would apply the size twice at different resolutions.
    b.Add("Size", TypeInfoInteger(), &TFont::Size, &TFont::SetSize).Stored(false);
    b.Add("Style", fontStylesType(), [](TFont& f) { return static_cast<int>(f.Style().Bits()); },
          [](TFont& f, int bits) { f.SetStyle(TFontStyles::FromBits(static_cast<std::uint8_t>(bits))); })
        .Default(0);
}

void TPen::RegisterProperties(TClassBuilder<TPen>& b)
{
    b.Add("Color", TypeInfoColor(), &TPen::Color, &TPen::SetColor).Default(clBlack);
    b.Add("Mode", penModeType(), &TPen::Mode, &TPen::SetMode).Default(pmCopy);
    b.Add("Style", penStyleType(), &TPen::Style, &TPen::SetStyle).Default(psSolid);
    b.Add("Width", TypeInfoInteger(), &TPen::Width, &TPen::SetWidth).Default(1);
}

void TBrush::RegisterProperties(TClassBuilder<TBrush>& b)
{
    b.Add("Color", TypeInfoColor(), &TBrush::Color, &TBrush::SetColor).Default(clWhite);
    b.Add("Style", brushStyleType(), &TBrush::Style, &TBrush::SetStyle).Default(bsSolid);
}

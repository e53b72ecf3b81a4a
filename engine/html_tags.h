#pragma once
// TpgwHTMLTagsList: the memo tag subset (<b>, <i>, <u>, <strike>, <sub>, <sup>, <nowrap>,
// <font color=...>) parsed out of text lines into one run per remaining character, and the
// measuring of a line through its runs. Text layout keeps one run line per wrapped line; the
// RTF export uses the list on its own.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/color.h"
#include "platform/graphics/font.h"

class TpgwTextMeasurer;

// The font state of one character.
struct TpgwHTMLTag {
    int CharPos = 0;  // 1-based position in the source text (tags and CR LF counted)
    int FontSize = 0; // points
    int Lowered = 0;  // 1 for a subscript character
    TFontStyles FontStyle;
    TColor FontColor = clBlack;
    // No font change is needed against the run before. Drawing and width measuring also set it
    // once they have applied a run.
    bool SameAsPrevious = false;
    bool Reduced = false; // sub- or superscript: measured width divided by 1.5
    bool NoWrap = false;  // inside a nowrap span: a space here is no break candidate

    // Everything but NoWrap.
    void AssignTag(const TpgwHTMLTag& source);
};

class TpgwHTMLTagsList;

// The runs of one line: a view into the list's run store. A line split with a hyphen carries
// one extra run at its end for the hyphen.
class TpgwHTMLTags {
public:
    int Count() const;
    TpgwHTMLTag& GetItems(int index) const;

private:
    friend class TpgwHTMLTagsList;
    TpgwHTMLTags(TpgwHTMLTagsList* list, int line) : list_(list), line_(line) {}
    TpgwHTMLTagsList* list_;
    int line_;
};

class TpgwHTMLTagsList {
public:
    TpgwHTMLTagsList();
    TpgwHTMLTagsList(const TpgwHTMLTagsList&) = delete;
    TpgwHTMLTagsList& operator=(const TpgwHTMLTagsList&) = delete;

    // When false no tag is recognised and every run is same-as-previous (default true).
    bool AllowTags() const { return allowTags_; }
    void SetAllowTags(bool value) { allowTags_ = value; }

    // Default and current state := the arguments; position := 1; every line is dropped.
    void SetDefaults(TColor color, int size, TFontStyles style);
    int Count() const { return static_cast<int>(lines_.size()); }
    TpgwHTMLTags GetItems(int index) { return TpgwHTMLTags(this, index); }
    // The source-text position of the next character.
    int Position() const { return position_; }
    void SetPosition(int value) { position_ = value; }

    // Starts a new line when there is one already (the first line is made by the first run).
    void NewLine();
    // Removes the recognised tags from s and adds one run per remaining character to the last
    // line; a line left empty becomes one space with one run. A "#" colour that is not
    // hexadecimal raises EConvertError (the runs made so far stay).
    void ExpandTags(std::u16string& s);
    // Keeps the first n runs on the last line and moves the rest to a new line; with hyphen
    // the old line gains a copy of its run n for the hyphen character.
    void SplitLineTags(int n, bool hyphen);

    // The widths of text's units measured through the runs of line lineIndex, each plus
    // spacing (a reduced run's divided by 1.5), running sums when cumulative; returns their sum.
    // font takes the style of every run that differs from the one before (callers restore it).
    // widths must hold text.size() entries.
    int CalcCharWidths(int* widths, std::u16string_view text, TFont& font,
                       const TpgwTextMeasurer& measurer, int lineIndex, int spacing,
                       bool cumulative);

    // The source-text position the line began at before a split copied the previous run into
    // its first run (equal to the first run's position otherwise); 0 for an empty line.
    int LineStartPos(int index) const;

private:
    friend class TpgwHTMLTags;
    struct Line {
        std::size_t begin = 0; // first run in runs_
        std::size_t count = 0; // runs of runs_ (the hyphen run not included)
        bool hasHyphen = false;
        TpgwHTMLTag hyphen;
        int startPos = 0;
    };

    TpgwHTMLTag* PrevTag();
    void AddTag();
    // The length of the tag at s[i] when it is one, after applying it; 0 for text.
    std::size_t ApplyTag(std::u16string_view s, std::size_t i);
    TpgwHTMLTag& Run(const Line& line, int index);

    bool allowTags_ = true;
    int currentLowered_ = 0;
    TColor currentColor_ = clBlack;
    TColor defaultColor_ = clBlack;
    int defaultSize_ = 10;
    TFontStyles defaultStyle_;
    std::vector<TpgwHTMLTag> runs_;
    std::vector<Line> lines_;
    int position_ = 1;
    int currentSize_ = 10;
    TFontStyles currentStyle_;
    bool currentNoWrap_ = false;
    std::vector<int> extents_;
};

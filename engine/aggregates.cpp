#include "engine/aggregates.h"

#include <set>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/text.h"
#include "report/band.h"
#include "report/memo_view.h"
#include "report/page.h"
#include "report/report.h"
#include "report/utils.h"
#include "report/variables.h"

namespace {

class ReportAggregateHost : public TpgwAggregateHost {
public:
    explicit ReportAggregateHost(TpgwReport& report) : report_(report) {}

    Variant Calc(const std::string& expression) override { return report_.Calc(expression); }
    TpgwComponent* FindObject(std::string_view name) override { return report_.FindObject(name); }
    bool VariableValue(std::string_view name, Variant& value) override {
        const int index = report_.Variables()->IndexOf(name);
        if (index < 0) return false;
        value = report_.Variables()->Items(index)->Value();
        return true;
    }
    bool IsDataField(const std::string& text) override {
        // alias."field", the closing quote ending the text
        const std::size_t dot = text.find(".\"");
        if (dot == std::string::npos || text.size() < dot + 4 || text.back() != '"') return false;
        return report_.GetDataset(std::string_view(text).substr(0, dot)) != nullptr;
    }
    void SetCurrentObjectName(const std::string& name) override {
        report_.SetActiveObjectName(name);
    }

private:
    TpgwReport& report_;
};

bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20;
}

bool isSkipped(char c) {
    if (isControl(c) || (c >= '0' && c <= '9')) return true;
    return std::string_view(" !#$%&*+,-./=[]^|").find(c) != std::string_view::npos;
}

bool endsWord(char c) {
    if (isControl(c)) return true;
    return std::string_view(" !#$%&(*+,-./=[]^|").find(c) != std::string_view::npos;
}

// The position of the bracket closing the one at open; quoted texts do not count. npos when
// it is never closed.
std::size_t closingBracket(std::string_view text, std::size_t open, char opening, char closing) {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == opening) {
            ++depth;
        } else if (c == closing && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The arguments of a call: split at the commas outside nested parentheses and quotes.
std::vector<std::string> callArguments(std::string_view inside) {
    std::vector<std::string> arguments;
    int depth = 0;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        const char c = inside[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            arguments.push_back(Trim(inside.substr(start, i - start)));
            start = i + 1;
        }
    }
    arguments.push_back(Trim(inside.substr(start)));
    return arguments;
}

TpgwAggregateKind kindOfName(std::string_view name) {
    const std::string upper = UpperCase(Trim(name));
    if (upper == "SUM") return akSum;
    if (upper == "AVG") return akAvg;
    if (upper == "MIN") return akMin;
    if (upper == "MAX") return akMax;
    return akCount;
}

bool isAggregateName(std::string_view word) {
    const std::string upper = UpperCase(word);
    return upper == "SUM" || upper == "AVG" || upper == "MIN" || upper == "MAX" || upper == "COUNT";
}

// Adds v to a count and value by the kind's rule.
void accumulate(TpgwAggregateKind kind, const Variant& v, int& count, Variant& value) {
    if (kind != akAvg || !v.IsNull()) ++count;
    if (v.IsNull()) return;
    if (value.IsNull()) {
        value = v;
        return;
    }
    switch (kind) {
    case akSum:
    case akAvg:
        value = VarAdd(value, v);
        break;
    case akMin:
        if (VarCompare(v, value) < 0) value = v;
        break;
    case akMax:
        if (VarCompare(v, value) > 0) value = v;
        break;
    case akCount:
        break;
    }
}

void resetItem(TpgwAggregateItem& item, bool keepRunningTotal) {
    if (keepRunningTotal && item.RunningTotal && item.Count != 0) return;
    item.Count = 0;
    item.Value = Variant::Null();
    item.VerticalValues.clear();
    item.VerticalCounts.clear();
}

bool isFooterKind(const TpgwBand* band) {
    switch (band->BandKindIndex()) {
    case 1:  // report summary
    case 3:  // page footer
    case 5:  // footer
    case 13: // group footer
        return true;
    default:
        return false;
    }
}

// One scan of a band's text objects: where the calls print and which band they count.
class Scanner {
public:
    Scanner(TpgwAggregateHost& host, std::vector<std::unique_ptr<TpgwAggregateItem>>& items,
            TpgwCustomMemoView& memo, TpgwBand* defaultBand)
        : host_(host), items_(items), memo_(memo), defaultBand_(defaultBand) {}

    void scanMemo() {
        const std::string& delimiters = memo_.ExpressionDelimiters();
        const std::size_t comma = delimiters.find(',');
        const std::string open = delimiters.substr(0, comma);
        const std::string close = comma == std::string::npos ? open : delimiters.substr(comma + 1);
        if (open.empty() || close.empty()) return;
        const std::string text = memo_.Text();
        std::size_t pos = 0;
        while ((pos = text.find(open, pos)) != std::string::npos) {
            std::string expression;
            std::size_t end = pos, start = pos;
            try {
                ExtractExpression(text, open, close, expression, end, start);
            } catch (const EConvertError&) {
                return; // never closed: the text object reports it when it is evaluated
            }
            scanExpression(expression);
            pos = end + 1;
        }
    }

private:
    void scanExpression(std::string_view text) {
        if (scanVariable(Trim(text))) return;
        if (host_.IsDataField(Trim(text))) return;
        std::size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (isSkipped(c)) {
                ++i;
            } else if (c == '\'' || c == '"') {
                const std::size_t end = text.find(c, i + 1);
                i = end == std::string_view::npos ? text.size() : end + 1;
            } else if (c == '(' || c == '<') {
                const std::size_t end = closingBracket(text, i, c, c == '(' ? ')' : '>');
                const std::size_t stop = end == std::string_view::npos ? text.size() : end;
                scanExpression(text.substr(i + 1, stop - i - 1));
                i = stop + 1;
            } else {
                std::size_t end = i;
                while (end < text.size() && !endsWord(text[end]))
                    ++end;
                const std::string_view word = text.substr(i, end - i);
                if (end < text.size() && text[end] == '(' && isAggregateName(word)) {
                    const std::size_t close = closingBracket(text, end, '(', ')');
                    if (close == std::string_view::npos) return;
                    makeItem(text.substr(i, close - i + 1));
                    i = close + 1;
                } else {
                    scanVariable(word);
                    i = end;
                }
            }
        }
    }

    // A report variable's value is scanned in its place; one that refers to itself, directly or
    // through others, is scanned once.
    bool scanVariable(const std::string& name) {
        Variant value;
        if (name.empty() || !host_.VariableValue(name, value)) return false;
        const std::string key = UpperCase(name);
        if (!variablesInScan_.insert(key).second) return true;
        scanExpression(value.IsNull() || value.IsEmpty() ? std::string() : VarToStr(value));
        variablesInScan_.erase(key);
        return true;
    }
    bool scanVariable(std::string_view name) { return scanVariable(std::string(name)); }

    void makeItem(std::string_view call) {
        const std::string callText = Trim(call);
        const std::size_t open = callText.find('(');
        const TpgwAggregateKind kind = kindOfName(std::string_view(callText).substr(0, open));
        std::vector<std::string> arguments =
            callArguments(std::string_view(callText).substr(open + 1, callText.size() - open - 2));
        auto item = std::make_unique<TpgwAggregateItem>();
        item->Kind = kind;
        std::size_t next = 0;
        if (kind != akCount) item->Expression = arguments[next++];
        const std::string bandName = next < arguments.size() ? arguments[next] : std::string();
        const std::string flagsText =
            next + 1 < arguments.size() ? arguments[next + 1] : std::string();
        const int flags = flagsText.empty() ? 0 : StrToInt(flagsText);
        item->Band = defaultBand_;
        if (!bandName.empty())
            if (auto* band = dynamic_cast<TpgwDataBand*>(host_.FindObject(bandName)))
                item->Band = band;
        item->IncludeInvisible = (flags & 1) != 0;
        item->RunningTotal = (flags & 2) != 0;
        item->PrintBand = dynamic_cast<TpgwBand*>(memo_.Parent());
        if (item->PrintBand && item->PrintBand->Vertical())
            if (auto* source = dynamic_cast<TpgwBand*>(memo_.SourceBand());
                source && isFooterKind(source))
                item->PrintBand = source;
        item->InPageFooter = item->PrintBand && item->PrintBand->Is<TpgwPageFooter>();
        item->CallText = callText;
        item->CallerObjectName = memo_.Name();
        resetItem(*item, false);
        items_.push_back(std::move(item));
    }

    TpgwAggregateHost& host_;
    std::vector<std::unique_ptr<TpgwAggregateItem>>& items_;
    TpgwCustomMemoView& memo_;
    TpgwBand* defaultBand_;
    std::set<std::string> variablesInScan_;
};

} // namespace

std::unique_ptr<TpgwAggregateHost> MakeReportAggregateHost(TpgwReport& report) {
    return std::make_unique<ReportAggregateHost>(report);
}

TpgwAggregateList::TpgwAggregateList(TpgwAggregateHost& host) : host_(host) {}

TpgwAggregateList::~TpgwAggregateList() = default;

void TpgwAggregateList::Clear() {
    items_.clear();
}

void TpgwAggregateList::scanBand(TpgwBand* band, TpgwBand* defaultBand) {
    if (!band) return;
    for (TpgwComponent* object : band->Objects())
        if (auto* memo = dynamic_cast<TpgwCustomMemoView*>(object);
            memo && memo->AllowExpressions())
            Scanner(host_, items_, *memo, defaultBand).scanMemo();
}

void TpgwAggregateList::scanBandWithChildren(TpgwBand* band, TpgwBand* defaultBand) {
    // Child links refuse cycles; the bound guards a chain edited behind their back.
    for (int n = 0; band && n < 10000; ++n) {
        scanBand(band, defaultBand);
        band = band->Child();
    }
}

void TpgwAggregateList::scanDataBand(TpgwBand* band, bool vertical, int depth) {
    if (depth > 16) return; // six data levels; a deeper tree was not built by BuildBandTree
    scanBandWithChildren(band->FooterBand, band);
    if (band->GroupBand)
        for (TpgwBand* header : band->GroupBand->DependentBands)
            scanBandWithChildren(header->FooterBand, band);
    if (vertical) scanBand(band, band);
    for (TpgwBand* detail : band->DependentBands)
        scanDataBand(detail, vertical, depth + 1);
}

void TpgwAggregateList::AddAggregates(TpgwReportPage& page) {
    for (TpgwBand* band : page.DependentBands)
        scanDataBand(band, false, 0);
    for (TpgwBand* band : page.VerticalSubBands)
        scanDataBand(band, true, 0);
    if (page.DependentBands.empty()) return;
    TpgwBand* first = page.DependentBands.front();
    scanBandWithChildren(page.FirstBandOfClass(TpgwPageFooter::StaticClass()), first);
    scanBandWithChildren(page.FirstBandOfClass(TpgwColumnFooter::StaticClass()), first);
    scanBandWithChildren(page.FirstBandOfClass(TpgwReportSummary::StaticClass()), first);
}

void TpgwAggregateList::AddValue(TpgwBand* band, int verticalColumn) {
    for (auto& itemPtr : items_) {
        TpgwAggregateItem& item = *itemPtr;
        if (item.Band != band || !band) continue;
        if (!band->Visible() && !item.IncludeInvisible) continue;
        host_.SetCurrentObjectName(item.CallerObjectName);
        Variant v = item.Kind == akCount ? Variant::Null() : host_.Calc(item.Expression);
        if (v.Kind() == VariantKind::Bool && v.BoolValue()) v = Variant(1);
        item.VerticalColumn = verticalColumn;
        if (verticalColumn >= 1) {
            // Grows with the columns: there is no fixed limit on vertical columns.
            const auto needed = static_cast<std::size_t>(verticalColumn) + 1;
            if (item.VerticalValues.size() < needed) {
                item.VerticalValues.resize(needed, Variant::Null());
                item.VerticalCounts.resize(needed, 0);
            }
            accumulate(item.Kind, v, item.VerticalCounts[needed - 1],
                       item.VerticalValues[needed - 1]);
        } else if (item.KeepActive) {
            accumulate(item.Kind, v, item.KeepCount, item.KeepValue);
        } else {
            item.SavedCount = item.Count;
            item.SavedValue = item.Value;
            accumulate(item.Kind, v, item.Count, item.Value);
        }
    }
}

void TpgwAggregateList::Undo(TpgwBand* band) {
    for (auto& item : items_)
        if (item->Band == band) {
            item->Count = item->SavedCount;
            item->Value = item->SavedValue;
        }
}

void TpgwAggregateList::Reset(TpgwBand* band) {
    for (auto& item : items_)
        if (item->PrintBand == band) resetItem(*item, true);
}

Variant TpgwAggregateList::GetValue(TpgwBand* activeBand, int verticalColumn, std::string_view name,
                                    std::string_view expression, TpgwComponent* band, int flags) {
    const TpgwAggregateKind kind = kindOfName(name);
    const std::string trimmed = Trim(expression);
    for (auto& itemPtr : items_) {
        TpgwAggregateItem& item = *itemPtr;
        if (item.PrintBand != activeBand || item.Kind != kind ||
            !SameText(item.Expression, trimmed) || (band && item.Band != band) ||
            item.IncludeInvisible != ((flags & 1) != 0) || item.RunningTotal != ((flags & 2) != 0))
            continue;
        item.VerticalColumn = verticalColumn;
        Variant value = item.Value;
        int count = item.Count;
        if (!item.VerticalValues.empty()) {
            const bool inRange = verticalColumn >= 0 && static_cast<std::size_t>(verticalColumn) <
                                                            item.VerticalValues.size();
            value = inRange ? item.VerticalValues[static_cast<std::size_t>(verticalColumn)]
                            : Variant::Null();
            count = inRange ? item.VerticalCounts[static_cast<std::size_t>(verticalColumn)] : 0;
        }
        Variant result;
        switch (kind) {
        case akAvg:
            result = value.IsNull() || count == 0 ? Variant::Null() : VarDiv(value, count);
            break;
        case akCount:
            result = Variant(count);
            break;
        default:
            result = value;
            break;
        }
        return result.IsNull() ? Variant(0) : result;
    }
    return Variant::Null();
}

void TpgwAggregateList::StartKeep() {
    for (auto& item : items_)
        if (item->InPageFooter && !item->KeepActive) {
            item->KeepActive = true;
            item->KeepCount = 0;
            item->KeepValue = Variant::Null();
        }
}

void TpgwAggregateList::EndKeep() {
    for (auto& itemPtr : items_) {
        TpgwAggregateItem& item = *itemPtr;
        if (!item.InPageFooter || !item.KeepActive) continue;
        item.KeepActive = false;
        item.Count += item.KeepCount;
        if (item.KeepValue.IsNull()) continue;
        if (item.Value.IsNull()) {
            item.Value = item.KeepValue;
            continue;
        }
        switch (item.Kind) {
        case akMin:
            if (VarCompare(item.KeepValue, item.Value) < 0) item.Value = item.KeepValue;
            break;
        case akMax:
            if (VarCompare(item.KeepValue, item.Value) > 0) item.Value = item.KeepValue;
            break;
        default:
            item.Value = VarAdd(item.Value, item.KeepValue);
            break;
        }
    }
}

void TpgwAggregateList::ResetForSecondPass() {
    for (auto& item : items_)
        resetItem(*item, false);
}

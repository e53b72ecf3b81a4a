#include "engine/band_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/core/string_list.h"
#include "report/band.h"
#include "report/data_set.h"
#include "report/page.h"
#include "report/resources.h"
#include "report/utils.h"
#include "report/view.h"

namespace {

// Positions compare as their two-decimal text would: 10.001 and 10.004 are the same position.
double positionKey(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return std::strtod(text, nullptr);
}

void addMessage(TStrings& errors, const char* key, const TpgwBand& band) {
    errors.Add(GetResources().GetText(key) + " " + band.Name());
}

bool isDataBand(const TpgwBand* band) {
    const int kind = band->BandKindIndex();
    return kind >= 6 && kind <= 11;
}

TpgwDataSet* dataSetOf(const TpgwBand* band) {
    auto* data = dynamic_cast<const TpgwDataBand*>(band);
    return data ? data->DataSet() : nullptr;
}

// Objects of horizontal bands that lie within a vertical band's extent print with it.
void moveObjectsIntoVerticalBands(TpgwReportPage& page) {
    std::vector<TpgwBand*> verticalBands;
    for (TpgwComponent* child : page.Objects())
        if (auto* band = dynamic_cast<TpgwBand*>(child); band && band->Vertical())
            verticalBands.push_back(band);
    if (verticalBands.empty()) return;
    const std::vector<TpgwComponent*> children = page.Objects();
    for (TpgwComponent* child : children) {
        auto* band = dynamic_cast<TpgwBand*>(child);
        if (!band || band->Vertical() || band->Is<TpgwOverlay>()) continue;
        const std::vector<TpgwComponent*> objects = band->Objects();
        for (TpgwComponent* object : objects) {
            auto* view = dynamic_cast<TpgwReportComponent*>(object);
            if (!view) continue;
            const double left = view->AbsLeft();
            const double right = left + view->Width();
            for (TpgwBand* vertical : verticalBands) {
                const double vLeft = vertical->AbsLeft();
                if (left < vLeft - 1e-4 || right > vLeft + vertical->Width() + 1e-4) continue;
                view->SetParent(vertical);
                view->SetSourceBand(band);
                view->SetLeft(left - vLeft);
                band->HasVerticalBands = true;
                break;
            }
        }
    }
}

// The bands of one orientation taking part in the tree, ordered by position; of bands at
// the same position only the first in the page's order.
std::vector<TpgwBand*> orderedBands(const std::vector<TpgwBand*>& bands, bool vertical) {
    std::vector<std::pair<double, TpgwBand*>> keyed;
    for (TpgwBand* band : bands) {
        const int kind = band->BandKindIndex();
        if (kind < 4 || kind > 13) continue;
        const double key = positionKey(vertical ? band->Left() : band->Top());
        const bool taken =
            std::any_of(keyed.begin(), keyed.end(), [&](const auto& k) { return k.first == key; });
        if (!taken) keyed.emplace_back(key, band);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TpgwBand*> list;
    for (const auto& k : keyed)
        list.push_back(k.second);
    return list;
}

void linkGroups(std::vector<TpgwBand*>& list, TStrings& errors) {
    for (std::size_t i = 0; i < list.size();) {
        auto* header = dynamic_cast<TpgwGroupHeader*>(list[i]);
        if (!header) {
            ++i;
            continue;
        }
        std::size_t next = i;
        while (next < list.size() && list[next]->Is<TpgwGroupHeader>())
            header->DependentBands.push_back(list[next++]);
        auto data = std::find_if(list.begin() + static_cast<std::ptrdiff_t>(next), list.end(),
                                 [](TpgwBand* band) { return isDataBand(band); });
        if (data != list.end())
            (*data)->GroupBand = header;
        else
            addMessage(errors, "enUnconnGroup", *header);
        i = next;
    }
    for (std::size_t i = 0; i < list.size();) {
        if (!list[i]->Is<TpgwGroupFooter>()) {
            ++i;
            continue;
        }
        std::size_t h = i;
        while (h > 0 && !list[h - 1]->Is<TpgwGroupHeader>())
            --h;
        if (h == 0) {
            ++i;
            continue;
        }
        list[h - 1]->FooterBand = list[i];
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(h - 1));
        i = h - 1;
    }
    std::erase_if(list, [](TpgwBand* band) { return band->Is<TpgwGroupHeader>(); });
    for (TpgwBand* band : list)
        if (band->Is<TpgwGroupFooter>()) addMessage(errors, "enUnconnGFooter", *band);
    std::erase_if(list, [](TpgwBand* band) { return band->Is<TpgwGroupFooter>(); });
}

void linkHeadersAndFooters(std::vector<TpgwBand*>& list, TStrings& errors) {
    std::vector<TpgwBand*> linked;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!isDataBand(list[i])) continue;
        if (i > 0 && list[i - 1]->Is<TpgwHeader>()) {
            list[i]->HeaderBand = list[i - 1];
            linked.push_back(list[i - 1]);
        }
        if (i + 1 < list.size() && list[i + 1]->Is<TpgwFooter>()) {
            list[i]->FooterBand = list[i + 1];
            linked.push_back(list[i + 1]);
        }
    }
    std::erase_if(list, [&](TpgwBand* band) {
        return std::find(linked.begin(), linked.end(), band) != linked.end();
    });
    for (TpgwBand* band : list)
        if (band->Is<TpgwHeader>() || band->Is<TpgwFooter>())
            addMessage(errors, "enUnconnHeader", *band);
    std::erase_if(list,
                  [](TpgwBand* band) { return band->Is<TpgwHeader>() || band->Is<TpgwFooter>(); });
}

// Attaches the bands from position i on as details of parent, one level deeper each; a band
// two or more levels deeper is passed over and stays in the list.
void attachDetails(TpgwBand* parent, std::vector<TpgwBand*>& list, std::size_t& i) {
    const int parentKind = parent->BandKindIndex();
    while (i < list.size()) {
        TpgwBand* band = list[i];
        const int kind = band->BandKindIndex();
        if (kind <= parentKind) return;
        if (kind != parentKind + 1) {
            ++i;
            continue;
        }
        if (dataSetOf(band)) parent->DependentBands.push_back(band);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        if (!band->Is<TpgwDataBand6>()) attachDetails(band, list, i);
    }
}

void linkMastersAndDetails(std::vector<TpgwBand*>& list, std::vector<TpgwBand*>& topLevel) {
    for (std::size_t i = 0; i < list.size();) {
        TpgwBand* band = list[i];
        if (!band->Is<TpgwMasterData>()) {
            ++i;
            continue;
        }
        if (dataSetOf(band)) topLevel.push_back(band);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        attachDetails(band, list, i);
    }
}

// ---- shift tree ----------------------------------------------------------------------------

struct ShiftNode {
    TpgwReportComponent* object; // none for the strip standing above the band
    TpgwRectArea area;
};

bool isShiftChild(const std::vector<ShiftNode>& nodes, std::size_t a, std::size_t b) {
    const TpgwRectArea& above = nodes[a].area;
    const TpgwRectArea& below = nodes[b].area;
    if (above.InterceptsY(below) || above.Y >= below.Y) return false;
    const auto common = above.IntersectX(below);
    if (!common) return false;
    for (std::size_t c = a + 1; c < b; ++c) {
        const TpgwRectArea& between = nodes[c].area;
        if (!between.InterceptsY(above) && !between.InterceptsY(below) &&
            between.InterceptsX(*common))
            return false;
    }
    return true;
}

TpgwShiftMode shiftModeOf(const TpgwComponent* object) {
    auto* view = dynamic_cast<const TpgwView*>(object);
    return view ? view->ShiftMode() : smAlways;
}

class Shifter {
public:
    void shift(TpgwReportComponent& parent, bool parentIsBand, double offset) {
        for (TpgwComponent* dependent : parent.ShiftDependents()) {
            auto* child = dynamic_cast<TpgwReportComponent*>(dependent);
            if (!child) continue;
            // A lattice of objects side by side is reached along many paths; the budget keeps
            // a pathological layout from taking exponential time.
            if (++visits_ > kMaxVisits) return;
            const double oldTop = child->Top();
            double childOffset = child->GrowthAmount;
            switch (shiftModeOf(child)) {
            case smAlways:
                child->SetTop(oldTop + offset);
                childOffset += offset;
                break;
            case smDontShift:
                childOffset += offset;
                break;
            case smWhenOverlapped:
                if (!parentIsBand) {
                    const double parentBottom = parent.Top() + parent.Height();
                    if (oldTop < parentBottom) {
                        child->SetTop(parentBottom);
                        childOffset += parentBottom - oldTop;
                    }
                }
                break;
            }
            // Visited again with nothing to pass on and not moved, the subtree below is
            // already settled.
            const bool settled = childOffset == 0 && child->Top() == oldTop;
            if (!(settled && visited_.count(child))) shift(*child, false, childOffset);
            visited_.insert(child);
            child->GrowthAmount = 0;
        }
    }

private:
    static constexpr long kMaxVisits = 1'000'000;
    std::unordered_set<const TpgwComponent*> visited_;
    long visits_ = 0;
};

} // namespace

void BuildBandTree(TpgwReportPage& page, TStrings& errors, bool vertical) {
    page.AlignChildren();
    std::vector<TpgwBand*>& topLevel = vertical ? page.VerticalSubBands : page.DependentBands;
    topLevel.clear();
    if (!vertical) moveObjectsIntoVerticalBands(page);

    std::vector<TpgwBand*> bands;
    for (TpgwComponent* child : page.Objects())
        if (auto* band = dynamic_cast<TpgwBand*>(child); band && band->Vertical() == vertical)
            bands.push_back(band);
    for (TpgwBand* band : bands) {
        BuildShiftTree(*band);
        band->DependentBands.clear();
        band->HeaderBand = nullptr;
        band->FooterBand = nullptr;
        band->GroupBand = nullptr;
        band->HasVerticalBands = false;
        auto* data = dynamic_cast<TpgwDataBand*>(band);
        if (data && data->RowCount() > 0 &&
            (!data->DataSet() || data->DataSet() == data->VirtualDataSet())) {
            data->SetDataSet(data->VirtualDataSet());
            data->VirtualDataSet()->BeginReport();
        }
    }
    // Reset above together with the rest; set again from the objects the vertical bands took.
    if (!vertical)
        for (TpgwComponent* child : page.Objects())
            if (auto* band = dynamic_cast<TpgwBand*>(child); band && band->Vertical())
                for (TpgwComponent* object : band->Objects())
                    if (auto* view = dynamic_cast<TpgwReportComponent*>(object))
                        if (auto* source = dynamic_cast<TpgwBand*>(view->SourceBand()))
                            source->HasVerticalBands = true;

    std::vector<TpgwBand*> list = orderedBands(bands, vertical);
    linkGroups(list, errors);
    linkHeadersAndFooters(list, errors);
    linkMastersAndDetails(list, topLevel);
    for (TpgwBand* band : list)
        addMessage(errors, "enBandPos", *band);
}

void BuildShiftTree(TpgwBand& band) {
    if (!band.ShiftDependents().empty()) return;
    std::vector<ShiftNode> nodes;
    for (TpgwComponent* object : band.Objects()) {
        auto* view = dynamic_cast<TpgwReportComponent*>(object);
        if (!view) continue;
        view->ShiftDependents().clear();
        const double left = view->AbsLeft(), top = view->AbsTop();
        nodes.push_back({view, {left, top, left + view->Width(), top + view->Height()}});
    }
    std::stable_sort(nodes.begin(), nodes.end(), [](const ShiftNode& a, const ShiftNode& b) {
        return positionKey(a.area.Y) < positionKey(b.area.Y);
    });
    // A strip just above the band: the objects directly below it are the band's topmost. It
    // follows the band's own left edge, so that a vertical band finds its objects too.
    const double bandLeft = band.AbsLeft(), bandTop = band.AbsTop();
    nodes.insert(nodes.begin(),
                 {nullptr, {bandLeft, bandTop - 2, bandLeft + band.Width(), bandTop - 1}});

    for (std::size_t a = 0; a < nodes.size(); ++a) {
        std::vector<TpgwComponent*>& dependents =
            nodes[a].object ? nodes[a].object->ShiftDependents() : band.ShiftDependents();
        for (std::size_t b = a + 1; b < nodes.size(); ++b)
            if (isShiftChild(nodes, a, b)) dependents.push_back(nodes[b].object);
    }
}

void ShiftObjects(TpgwBand& band) {
    Shifter().shift(band, true, 0);
}

#pragma once
// The listeners a data set or data source tells of its events. A listener may add or remove
// listeners (itself included) while it is being told: each is called at most once per event, and
// one removed meanwhile is not called.

#include <algorithm>
#include <functional>
#include <vector>

template <class... Args> class TDataLinks {
public:
    using Handler = std::function<void(Args...)>;

    int Add(Handler handler) {
        const int id = nextId_++;
        links_.push_back(Link{id, std::move(handler)});
        return id;
    }
    void Remove(int id) {
        std::erase_if(links_, [id](const Link& l) { return l.Id == id; });
    }
    void Notify(Args... args) {
        std::vector<int> ids;
        ids.reserve(links_.size());
        for (const Link& l : links_)
            ids.push_back(l.Id);
        for (int id : ids) {
            auto it = std::find_if(links_.begin(), links_.end(),
                                   [id](const Link& l) { return l.Id == id; });
            if (it == links_.end()) continue;
            Handler handler = it->Call; // the link may remove itself while running
            handler(args...);
        }
    }

private:
    struct Link {
        int Id;
        Handler Call;
    };
    std::vector<Link> links_;
    int nextId_ = 1;
};

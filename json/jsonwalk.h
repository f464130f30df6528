// Depth-first walk over a value tree with an explicit stack instead of
// recursion, so that writing, copying, merging, clearing and packing handle
// trees of any depth (a path such as a.a.a... builds one as deep as it is
// long) without running out of call stack.
//
// Each open container is a frame. An array frame steps through its slots;
// an object frame steps through its members in member order, with the path
// to the next member kept on one stack of entries shared by all frames, so a
// frame costs a few words however large its object is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "json/jsonvalue.h"

namespace json {

class TJsonTreeWalk {
public:
    // One child of the innermost open container.
    struct Child {
        const std::u16string* name;  // the member name; nil for an array slot
        int index;                   // the slot; -1 for a member
        TJsonValue* value;           // nil for a nil member or slot
    };

    // Opens an object or array as the innermost frame. Its member table must
    // not change while the frame is open; the slots of an array may.
    void Open(TJsonValue* container);
    // Steps the innermost frame to its next child; false when it has none
    // left.
    bool Next(Child& child);
    // Closes the innermost frame.
    void Close();

    // Steps until every frame is closed: `visit` takes each child of the
    // innermost frame (and may open it as a new frame), `leave` each frame
    // as it ends, just before it is closed. When an exception passes, every
    // frame still open is given to `abandon` and closed before it goes on.
    template <class Visit, class Leave, class Abandon>
    void Run(Visit visit, Leave leave, Abandon abandon) {
        Child child;
        try {
            while (!Empty()) {
                if (Next(child)) {
                    visit(child);
                } else {
                    leave(Top());
                    Close();
                }
            }
        } catch (...) {
            while (!Empty()) {
                abandon(Top());
                Close();
            }
            throw;
        }
    }
    template <class Visit, class Leave>
    void Run(Visit visit, Leave leave) {
        Run(visit, leave, leave);
    }

    bool Empty() const { return frames_.empty(); }
    size_t Depth() const { return frames_.size(); }
    TJsonValue* Top() const { return frames_.back().value; }

private:
    struct Frame {
        TJsonValue* value;
        int next;     // array: the next slot
        size_t base;  // object: its entries on `entries_` start here
    };
    std::vector<Frame> frames_;
    std::vector<TJsonAvlEntry*> entries_;
};

}  // namespace json

#pragma once
#include "lists/GroupList.h"
#include "lists/ui/ListWindow.h"

namespace kv {

class GroupEditor;

// The parameter groups as the list window's group mode: at most 7 groups, each edited by the
// group editor in group definition. Add and Insert put a new empty group into the list and
// remove it again when the editor is not accepted; Change edits a working copy and copies it
// back only on acceptance.
class GroupListItems final : public ListItems {
public:
    GroupListItems(GroupList& groups, GroupEditor& editor) : groups_(groups), editor_(editor) {}

    int count() const override { return groups_.size(); }
    QString rowText(int pos) const override;
    int limit() const override { return kMaxGroups; }
    std::string limitMessage() const override;
    bool add(int pos, bool insert) override;
    bool change(int pos) override;
    void remove(int pos) override { groups_.remove(pos); }

private:
    GroupList& groups_;
    GroupEditor& editor_;
};

} // namespace kv

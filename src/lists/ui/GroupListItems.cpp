#include "lists/ui/GroupListItems.h"

#include "lists/GroupEditing.h"
#include "lists/ui/GroupEditor.h"

namespace kv {

QString GroupListItems::rowText(int pos) const
{
    if (pos < 0 || pos >= groups_.size())
        return {};
    return QString::fromStdString(groups_.at(pos).name());
}

std::string GroupListItems::limitMessage() const { return kTooManyGroupsMessage; }

bool GroupListItems::add(int pos, bool insert)
{
    ParamGroup* group = groups_.insert(insert ? pos : -1, std::make_unique<ParamGroup>());
    if (!group)
        return false;
    editor_.setMode(GroupEditor::Mode::Definition);
    if (editor_.edit(*group))
        return true;
    groups_.remove(groups_.indexOf(group));
    return false;
}

bool GroupListItems::change(int pos)
{
    if (pos < 0 || pos >= groups_.size())
        return false;
    ParamGroup copy;
    copy.assignDefinition(groups_.at(pos));
    editor_.setMode(GroupEditor::Mode::Definition);
    if (!editor_.edit(copy))
        return false;
    groups_.at(pos).assignDefinition(copy);
    return true;
}

} // namespace kv

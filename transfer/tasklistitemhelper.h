#ifndef KELVORA_TASKLISTITEMHELPER_H
#define KELVORA_TASKLISTITEMHELPER_H

class Task;

// What every row of a transfer list answers: the task it shows, or null (the completed
// section's header).
class TaskListItemHelper
{
public:
    virtual ~TaskListItemHelper() = default;
    virtual Task *task() const = 0;
};

#endif

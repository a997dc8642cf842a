#pragma once
// Helpers of the file-operation tests: an observer that keeps every status record of one
// operation, and a responder that answers alerts from a script (then "OK"), logging each.

#include <deque>
#include <string>
#include <vector>

#include "../Common/Alert/AlertTestSupport.h"
#include "Operations/FileOperation.h"
#include "Platform/NotificationCenter.h"

namespace vistel::test {

class RecordObserver {
public:
    explicit RecordObserver(const Ref<FileOperation>& operation)
        : operation_(operation)
    {
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification& notification) { records.push_back(notification.userInfo); },
            kFSOperationStatusNotification, operation.get());
    }
    ~RecordObserver() { NotificationCenter::defaultCenter().removeObserver(this); }
    RecordObserver(const RecordObserver&) = delete;
    RecordObserver& operator=(const RecordObserver&) = delete;

    // Waits for the final record, then until the running set let go of every operation, so
    // that anything posted late would have arrived.
    bool waitForEnd()
    {
        return spinUntil([&] { return finalCount() > 0 && FileOperation::runningCount() == 0; });
    }
    int finalCount() const
    {
        int count = 0;
        for (const Value& record : records)
            count += fileOperationStage(record) >= 3 ? 1 : 0;
        return count;
    }
    const Value& last() const { return records.back(); }
    // The records' byte counts never go down.
    bool bytesRise() const
    {
        std::uint64_t previous = 0;
        for (const Value& record : records) {
            if (!record.contains(kFSOperationBytesCompleteKey))
                continue;
            if (fileOperationBytesComplete(record) < previous)
                return false;
            previous = fileOperationBytesComplete(record);
        }
        return true;
    }

    std::vector<Value> records;

private:
    Ref<FileOperation> operation_;
};

// Answers the alerts with `script` in order, then with "OK" (or the first button).
inline Alert::Responder scriptedAnswers(std::vector<AlertResponse> script)
{
    auto answers = std::make_shared<std::deque<AlertResponse>>(script.begin(), script.end());
    return [answers](const AlertRecord&) {
        if (answers->empty())
            return AlertResponse::pressButton(0);
        AlertResponse next = answers->front();
        answers->pop_front();
        return next;
    };
}

inline std::vector<std::string> alertMessages()
{
    std::vector<std::string> messages;
    for (const AlertRecord& record : Alert::answeredAlerts())
        messages.push_back(record.messageText);
    return messages;
}

} // namespace vistel::test

#include "support/recordinghost.h"

#include <QCoreApplication>

void RecordingHost::yield()
{
    ++yields;
    QCoreApplication::processEvents();
    if (onYield)
        onYield();
}

bool RecordingHost::askOkCancel(const QString& text)
{
    questions.append(text);
    return answers.isEmpty() ? true : answers.takeFirst();
}

void RecordingHost::showMessage(const QString& text)
{
    messages.append(text);
}

void RecordingHost::setCounter(Counter counter, qint64 value)
{
    counters[size_t(counter)] = value;
}

void RecordingHost::setCurrentAddress(const QString& text)
{
    currentAddresses.append(text);
}

void RecordingHost::setCaption(const QString& caption)
{
    captions.append(caption);
}

// Word that a long folder batch has ended, as a desktop notification, for people who went on
// working in another window meanwhile: "48 turned upright, 1 could not be rotated". Sent only
// when the batch took more than about ten seconds, the window is not the active one, and the
// desktop has a notification service; how it is sent is up to a NotificationSender.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QWidget;
struct RunSummary;

// Sends notifications to the desktop, when the desktop has a service for them.
class NotificationSender {
public:
    virtual ~NotificationSender() = default;
    // A batch starts: a sender that must first find out whether the service is there does so
    // now, without waiting, so that it knows by the batch's end.
    virtual void prepare() {}
    virtual bool isAvailable() const = 0;
    virtual void send(const QString &title, const QString &body) = 0;
};

// The notification's title and text for a finished batch.
QString batchEndTitle(bool dryRun);
QString batchEndText(const RunSummary &summary, bool dryRun);

class BatchNotice : public QObject {
    Q_OBJECT

public:
    // Batches longer than this are worth a notification.
    static constexpr qint64 longBatchMs = 10000;

    // `window` is the window that must not be active; `dryRunAction` says whether a batch only
    // reports.
    BatchNotice(QWidget *window, const QAction *dryRunAction,
                std::unique_ptr<NotificationSender> sender);
    ~BatchNotice() override;

    void setSender(std::unique_ptr<NotificationSender> sender);

public slots:
    void runStarted(int kind);
    void runFinished(const RunSummary &summary);

private:
    QWidget *window = nullptr;
    const QAction *dryRunAction = nullptr;
    std::unique_ptr<NotificationSender> sender;
    bool dryRun = false;
};

#pragma once

#include <QHash>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

namespace zarnet::gateway {

// Logs the first event of each kind as a warning, then only how many more of it
// came, once a period, so that a flood of one refusal leaves a few lines.
class RepeatLog : public QObject {
    Q_OBJECT
public:
    using Category = const QLoggingCategory& (*)();
    static constexpr int PeriodMs = 60000;
    // Kinds remembered at once; beyond them every new kind counts as one.
    static constexpr int MaxKinds = 1000;

    explicit RepeatLog(Category category, int periodMs = PeriodMs, QObject* parent = nullptr);
    ~RepeatLog() override;

    void warn(const QString& kind, const QString& text);

private:
    void report();

    Category category_;
    QTimer period_;
    QHash<QString, int> more_; // kinds seen this period, with how many after the first
};

} // namespace zarnet::gateway

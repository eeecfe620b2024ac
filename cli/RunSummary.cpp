#include "RunSummary.h"

#include "CKDX.h"
#include "ResultCode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <csignal>

namespace {

QString seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

QStringList failedPorts(const QList<PortOutcome> &outcomes)
{
    QStringList failed;
    for (const PortOutcome &o : outcomes) {
        if (o.status != 0)
            failed.append(o.port);
    }
    return failed;
}

} // namespace

int RunSummary::exitStatus(const QList<PortOutcome> &outcomes)
{
    for (const PortOutcome &o : outcomes) {
        if (o.status != 0)
            return o.status;
    }
    return 0;
}

QString RunSummary::table(const QList<PortOutcome> &outcomes)
{
    const QString portHead = QStringLiteral("port");
    const QString resultHead = QStringLiteral("result");
    const QString timeHead = QStringLiteral("time");
    qsizetype portWidth = portHead.size();
    qsizetype timeWidth = timeHead.size();
    for (const PortOutcome &o : outcomes) {
        portWidth = std::max(portWidth, o.port.size());
        timeWidth = std::max(timeWidth, seconds(o.ms).size());
    }
    auto row = [&](const QString &port, const QString &result, const QString &time, const QString &text) {
        return port.leftJustified(portWidth) + QStringLiteral("  ") + result.leftJustified(resultHead.size())
            + QStringLiteral("  ") + time.rightJustified(timeWidth) + QStringLiteral("  ") + text + QLatin1Char('\n');
    };
    QString out = row(portHead, resultHead, timeHead, QStringLiteral("text"));
    for (const PortOutcome &o : outcomes) {
        const QString tries = o.attempts > 1 ? QStringLiteral(" (%1 attempts)").arg(o.attempts) : QString();
        out += row(o.port, QString::number(o.status), seconds(o.ms), o.text + tries);
    }
    const QStringList failed = failedPorts(outcomes);
    if (failed.isEmpty())
        out += QStringLiteral("all %1 ports succeeded\n").arg(outcomes.size());
    else
        out += QStringLiteral("%1 of %2 ports failed: %3\n")
                   .arg(failed.size())
                   .arg(outcomes.size())
                   .arg(failed.join(QStringLiteral(", ")));
    return out;
}

QByteArray RunSummary::json(const QList<PortOutcome> &outcomes)
{
    QJsonArray ports;
    for (const PortOutcome &o : outcomes) {
        QJsonObject port {
            {QStringLiteral("port"), o.port},
            {QStringLiteral("result"), o.status},
            {QStringLiteral("text"), o.text},
            {QStringLiteral("seconds"), double(o.ms) / 1000.0},
        };
        for (auto it = o.fields.begin(); it != o.fields.end(); ++it)
            port.insert(it.key(), it.value());
        ports.append(port);
    }
    const QJsonObject doc {
        {QStringLiteral("status"), exitStatus(outcomes)},
        {QStringLiteral("failed"), QJsonArray::fromStringList(failedPorts(outcomes))},
        {QStringLiteral("ports"), ports},
    };
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

QByteArray RunSummary::jsonLine(const PortOutcome &o)
{
    // Written by hand so that the keys keep this order (a JSON object of Qt's
    // sorts them); each value is Qt's.
    QByteArray line = "{";
    auto add = [&line](const char *key, const QJsonValue &value) {
        const QByteArray wrapped = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
        if (line.size() > 1)
            line += ',';
        line += '"' + QByteArray(key) + "\":" + wrapped.mid(1, wrapped.size() - 2);
    };
    // Exit statuses 1 to 8 are the driver's result codes without their sign.
    const bool driver = o.status >= 0 && o.status <= -kdx::InvalidParameter;
    add("port", o.port);
    add("result", o.status);
    add("code", driver ? QJsonValue(-o.status) : QJsonValue());
    add("seconds", double(o.ms) / 1000.0);
    add("text", o.text);
    add("attempts", o.attempts);
    if (o.status == 0 && !o.output.isEmpty() && o.output != QLatin1String("OK"))
        add("answer", o.output);
    if (!o.log.isEmpty())
        add("log", o.log);
    for (auto it = o.fields.begin(); it != o.fields.end(); ++it)
        add(it.key().toUtf8().constData(), it.value());
    return line + "}\n";
}

QString RunSummary::statusText(int status)
{
    switch (status) {
    case 0: return QStringLiteral("OK");
    case -kdx::Cancelled: return QStringLiteral("cancelled");
    case 64: return QStringLiteral("a mistake on the command line");
    case 66: return QStringLiteral("the file cannot be read");
    case 128 + SIGINT: return QStringLiteral("stopped by SIGINT");
    case 128 + SIGTERM: return QStringLiteral("stopped by SIGTERM");
    case 128 + SIGHUP: return QStringLiteral("stopped by SIGHUP");
    case 128 + SIGKILL: return QStringLiteral("killed");
    default: break;
    }
    // The driver's own words for its result codes.
    if (status >= 1 && status <= -kdx::InvalidParameter)
        return CKDX::ErrorDescription(-status);
    return status > 128 ? QStringLiteral("ended by signal %1").arg(status - 128)
                        : QStringLiteral("exit status %1").arg(status);
}

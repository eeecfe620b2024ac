#include "Faults.h"

namespace kdxsim {

namespace {

bool positive(const QString &value, qint64 *out)
{
    bool ok = false;
    const qint64 n = value.toLongLong(&ok);
    if (!ok || n <= 0)
        return false;
    *out = n;
    return true;
}

} // namespace

bool FaultSet::add(const QString &entry, QString *error)
{
    const int eq = entry.indexOf(QLatin1Char('='));
    const QString name = (eq < 0 ? entry : entry.left(eq)).trimmed();
    const QString value = eq < 0 ? QString() : entry.mid(eq + 1).trimmed();
    const bool hasValue = eq >= 0;
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("fault \"%1\": %2").arg(entry, why);
        return false;
    };
    auto flag = [&](bool *target) {
        if (hasValue)
            return fail(QStringLiteral("takes no value"));
        *target = true;
        return true;
    };
    auto number = [&](auto *target) {
        qint64 n = 0;
        if (!hasValue || !positive(value, &n))
            return fail(QStringLiteral("needs a positive number, as in %1=3").arg(name));
        *target = static_cast<std::remove_pointer_t<decltype(target)>>(n);
        return true;
    };

    if (name == QLatin1String("silent"))
        return flag(&silent);
    if (name == QLatin1String("nak"))
        return flag(&nak);
    if (name == QLatin1String("garble"))
        return flag(&garble);
    if (name == QLatin1String("short-version"))
        return flag(&shortVersion);
    if (name == QLatin1String("double-ack"))
        return flag(&doubleAck);
    if (name == QLatin1String("slow"))
        return number(&slowMs);
    if (name == QLatin1String("ignore-load"))
        return number(&ignoreLoad);
    if (name == QLatin1String("cancel-at-block"))
        return number(&cancelAtBlock);
    if (name == QLatin1String("nak-block"))
        return number(&nakBlock);
    if (name == QLatin1String("hangup-after"))
        return number(&hangupAfter);
    if (name == QLatin1String("no-prompt")) {
        if (!hasValue) {
            noPrompt = true;
            return true;
        }
        if (value == QLatin1String("xa")) {
            noPromptAfterXa = true;
            return true;
        }
        return fail(QStringLiteral("the only value is \"xa\""));
    }
    return fail(QStringLiteral("unknown fault"));
}

QStringList FaultSet::names() const
{
    QStringList out;
    if (silent)
        out << QStringLiteral("silent");
    if (nak)
        out << QStringLiteral("nak");
    if (slowMs)
        out << QStringLiteral("slow=%1").arg(slowMs);
    if (garble)
        out << QStringLiteral("garble");
    if (noPrompt)
        out << QStringLiteral("no-prompt");
    if (noPromptAfterXa)
        out << QStringLiteral("no-prompt=xa");
    if (ignoreLoad)
        out << QStringLiteral("ignore-load=%1").arg(ignoreLoad);
    if (cancelAtBlock)
        out << QStringLiteral("cancel-at-block=%1").arg(cancelAtBlock);
    if (nakBlock)
        out << QStringLiteral("nak-block=%1").arg(nakBlock);
    if (hangupAfter)
        out << QStringLiteral("hangup-after=%1").arg(hangupAfter);
    if (shortVersion)
        out << QStringLiteral("short-version");
    if (doubleAck)
        out << QStringLiteral("double-ack");
    return out;
}

QString FaultSet::helpText()
{
    return QStringLiteral(
        "  silent             never sends a byte; commands still act on the screen\n"
        "  nak                answers every native frame with NAK (15) and ignores it\n"
        "  slow=MS            every answer leaves MS milliseconds late\n"
        "  garble             every byte the display sends arrives corrupted\n"
        "  no-prompt          the firmware loader never prompts \">\"\n"
        "  no-prompt=xa       the loader prompts after ESC \"Load\" but not after \"XA\" CR\n"
        "  ignore-load=N      the first N load (and repeat \"1\") requests get no prompt\n"
        "  cancel-at-block=N  the XModem receive answers block N with CAN\n"
        "  nak-block=N        block N is refused once with NAK although it is sound\n"
        "  hangup-after=N     the line hangs up once N bytes have arrived; kdx-sim exits\n"
        "  short-version      \"V\" is answered with 3 bytes only (too short a version)\n"
        "  double-ack         every acknowledge is sent twice (06 06)\n");
}

} // namespace kdxsim

// ut_regUtils: typed settings values and window placement over the user's store.
#include "ut_regUtils.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "UserRegistry.h"

using namespace Qt::StringLiterals;

namespace {

const std::array<QString, 10> kPlacementNames = {
    u"Flags"_s,   u"ShowCmd"_s,     u"MinPosX"_s,    u"MinPosY"_s,      u"MaxPosX"_s,
    u"MaxPosY"_s, u"NormPosLeft"_s, u"NormPosTop"_s, u"NormPosRight"_s, u"NormPosBottom"_s,
};

enum : int { swNormal = 1, swMinimized = 2, swMaximized = 3 };
// The window was maximised before it was minimised: restoring it maximises it.
constexpr int kRestoreToMaximized = 2;

std::optional<quint32> ReadDWord(const QString &Key, const QString &Name)
{
    const std::optional<TRegValue> value = TUserRegistry().Read(Key, Name);
    if (!value || value->kind != TRegKind::rkDWord)
        return std::nullopt;
    return value->dword;
}

// Some part of the title strip must lie on a screen, wide enough to grab.
bool Reachable(const QRect &rect)
{
    const QRect strip(rect.left(), rect.top(), rect.width(), std::min(rect.height(), 30));
    const int needWidth = std::min(rect.width(), 50);
    const int needHeight = std::min(strip.height(), 10);
    const QList<QScreen *> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&](const QScreen *screen) {
        const QRect seen = strip.intersected(screen->availableGeometry());
        return seen.width() >= needWidth && seen.height() >= needHeight;
    });
}

// The rectangle moved (and if need be shrunk) onto the screen nearest to it.
QRect OntoNearestScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return rect;
    const QPoint centre = rect.center();
    QRect best;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QScreen *screen : screens) {
        const QRect area = screen->availableGeometry();
        const qint64 dx = std::max({qint64(area.left()) - centre.x(), qint64(0), qint64(centre.x()) - area.right()});
        const qint64 dy = std::max({qint64(area.top()) - centre.y(), qint64(0), qint64(centre.y()) - area.bottom()});
        const qint64 distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = area;
        }
    }
    QRect moved(rect.topLeft(), QSize(std::min(rect.width(), best.width()), std::min(rect.height(), best.height())));
    moved.moveLeft(std::clamp(moved.left(), best.left(), best.right() + 1 - moved.width()));
    moved.moveTop(std::clamp(moved.top(), best.top(), best.bottom() + 1 - moved.height()));
    return moved;
}

} // namespace

QString PlacementKey(const QWidget *window)
{
    return u"\\software\\Zarnoth\\Vantor\\Pos\\"_s + window->objectName();
}

bool ReadRegValue(const QString &Key, const QString &Name, bool Default)
{
    const std::optional<quint32> value = ReadDWord(Key, Name);
    return value ? *value != 0 : Default;
}

int ReadRegValue(const QString &Key, const QString &Name, int Default)
{
    const std::optional<quint32> value = ReadDWord(Key, Name);
    return value ? static_cast<int>(*value) : Default;
}

double ReadRegValue(const QString &Key, const QString &Name, double Default)
{
    const std::optional<TRegValue> value = TUserRegistry().Read(Key, Name);
    if (!value || value->kind != TRegKind::rkBinary || value->bytes.size() != sizeof(double))
        return Default;
    double number = 0;
    std::memcpy(&number, value->bytes.constData(), sizeof number);
    return number;
}

QString ReadRegValue(const QString &Key, const QString &Name, const QString &Default)
{
    const TUserRegistry registry;
    const std::optional<TRegValue> value = registry.Read(Key, Name);
    if (value)
        return value->kind == TRegKind::rkString ? value->text : Default;
    // A string that is not there reads as empty, once the key itself is there.
    return registry.KeyExists(Key) ? QString() : Default;
}

void WriteRegValue(const QString &Key, const QString &Name, bool Value)
{
    TUserRegistry().Write(Key, Name, TRegValue::DWord(Value ? 1 : 0));
}

void WriteRegValue(const QString &Key, const QString &Name, int Value)
{
    TUserRegistry().Write(Key, Name, TRegValue::DWord(static_cast<quint32>(Value)));
}

void WriteRegValue(const QString &Key, const QString &Name, double Value)
{
    QByteArray bytes(sizeof Value, '\0');
    std::memcpy(bytes.data(), &Value, sizeof Value);
    TUserRegistry().Write(Key, Name, TRegValue::Binary(bytes));
}

void WriteRegValue(const QString &Key, const QString &Name, const QString &Value)
{
    TUserRegistry().Write(Key, Name, TRegValue::String(Value));
}

void SaveWindowPlacement(QWidget *window, const QString &Key)
{
    if (!window)
        return;
    const Qt::WindowStates state = window->windowState();
    int showCmd = swNormal;
    int flags = 0;
    if (state & Qt::WindowMinimized) {
        showCmd = swMinimized;
        if (state & Qt::WindowMaximized)
            flags |= kRestoreToMaximized;
    } else if (state & Qt::WindowMaximized) {
        showCmd = swMaximized;
    }
    const QRect normal = window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
    const std::array<int, 10> numbers = {
        flags, showCmd, -1, -1, -1, -1, normal.left(), normal.top(), normal.right() + 1, normal.bottom() + 1,
    };
    QList<QPair<QString, TRegValue>> values;
    for (size_t i = 0; i < numbers.size(); ++i)
        values.append({kPlacementNames[i], TRegValue::DWord(static_cast<quint32>(numbers[i]))});
    TUserRegistry().Write(Key, values);
}

bool RestoreWindowPlacement(QWidget *window, const QString &Key)
{
    if (!window)
        return false;
    const TUserRegistry registry;
    std::array<int, 10> numbers{};
    for (size_t i = 0; i < numbers.size(); ++i) {
        const std::optional<TRegValue> value = registry.Read(Key, kPlacementNames[i]);
        if (!value || value->kind != TRegKind::rkDWord)
            return false;
        numbers[i] = static_cast<int>(value->dword);
    }
    const int flags = numbers[0];
    const int showCmd = numbers[1];
    QRect normal(QPoint(numbers[6], numbers[7]), QPoint(numbers[8] - 1, numbers[9] - 1));
    if (!normal.isValid())
        return false;
    if (!Reachable(normal))
        normal = OntoNearestScreen(normal);

    window->setWindowState(Qt::WindowNoState);
    window->setGeometry(normal);
    if (showCmd == swMaximized)
        window->setWindowState(Qt::WindowMaximized);
    else if (showCmd == swMinimized)
        window->setWindowState((flags & kRestoreToMaximized) ? Qt::WindowMinimized | Qt::WindowMaximized
                                                             : Qt::WindowMinimized);
    return true;
}

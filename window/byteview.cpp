// SPDX-License-Identifier: MIT
// A row's byte view: its exact bytes, spelled as the session log spells
// them, and what is known of it besides.

#include "window/responselist.h"

#include "notation/notation.h"
#include "notation/spelling.h"

#include <QCryptographicHash>
#include <QDateTime>

namespace kestran::window {

namespace {

// A byte view spells this many bytes of a row in its tooltip and description.
constexpr std::size_t bytesSpelled = 256;

} // namespace

QString ResponseList::spelling(int row, bool whole) const
{
    if (row < noteRows() || row >= count())
        return {};
    const std::size_t index = m_rows.runOf(row - noteRows());
    const notation::LineView line = m_rows.line(index);
    std::string bytes = m_rows.run(index).fromStx ? std::string(1, notation::STX) : "";
    bytes.append(line.payload);
    const auto spell = [](std::string_view part) {
        return QString::fromStdString(notation::quoted(part));
    };
    QString text;
    if (whole || bytes.size() <= bytesSpelled) {
        text = spell(line.cutBytes ? bytes : bytes + notation::CR);
    } else {
        const QByteArray digest = QCryptographicHash::hash(
            QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
            QCryptographicHash::Sha256);
        text = spell(std::string_view(bytes).substr(0, bytesSpelled)) +
               QStringLiteral(" and %1 more (SHA-256 %2)")
                   .arg(bytes.size() - bytesSpelled)
                   .arg(QString::fromLatin1(digest.toHex().left(16)));
    }
    if (line.cutBytes)
        text += QStringLiteral(", %1 bytes not kept, ").arg(line.cutBytes) +
                spell(std::string(1, notation::CR));
    return text;
}

QString ResponseList::byteView(int row) const
{
    if (row < 0 || row >= count())
        return {};
    if (row < noteRows())
        return removedNote();
    const std::size_t index = m_rows.runOf(row - noteRows());
    const RowStore::Run& run = m_rows.run(index);
    QString view = QStringLiteral("Bytes: ") + spelling(row, false);
    // A run's rows share the first one's facts; later ones say only that they repeat it.
    view += QString::fromLatin1(m_rows.rowsIn(index) > 1 ? "\nThe first came %1" : "\nCame %1")
                .arg(QDateTime::fromMSecsSinceEpoch(run.arrivedMs)
                         .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    if (run.responseUs >= 0)
        view +=
            QStringLiteral(", %1 ms after the frame left").arg(run.responseUs / 1000.0, 0, 'f', 1);
    if (run.lineErrors)
        view += QStringLiteral("\nLine errors while it came: ") +
                QString::fromStdString(terminal::LineErrors::namesOf(run.lineErrors));
    const std::int64_t first = m_rows.firstRowOf(index) + noteRows() + 1;
    if (m_rows.rowsIn(index) > 1)
        view += QStringLiteral("\nRows %1 to %2 are this same response")
                    .arg(first)
                    .arg(first + m_rows.rowsIn(index) - 1);
    return view;
}

} // namespace kestran::window

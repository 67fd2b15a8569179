// The Max-M Coulter file: its blocks and line groups, the decoder that shows it and the rewrite of
// a received file into the stored layout. Both read the content with one walker, so they agree on
// where a group ends.
#include "maxmfile.h"

#include "devcatalogue.h"
#include "drvmain.h"
#include "hmx.h"
#include "resultdecoders.h"
#include "resulttext.h"

#include <platform/controlchars.h>
#include <platform/exception.h>
#include <platform/fileops.h>
#include <platform/files.h>
#include <platform/support/logfile.h>

#include <optional>

namespace {

constexpr qsizetype StoredBlock = 256;
constexpr qsizetype BlockFrame = 8; // STX, two number digits, four trailer characters, ETX
constexpr qsizetype NumberDigits = 2;
constexpr qsizetype TrailerSize = 4;
constexpr int GroupCount = 7;
constexpr QByteArrayView LineEnd = "\r\n";

const QByteArray& head()
{
    static const QByteArray h = QByteArray("\r\n").repeated(6) + QByteArray(14, '-') + "\r\n";
    return h;
}

const QByteArray& tail()
{
    static const QByteArray t = QByteArray("\r\n\r\n") + QByteArray(14, '-') + "\r\n";
    return t;
}

// The data length of each of `count` blocks in a file of `size` bytes; 0 when the size gives no
// whole, positive length.
qsizetype blockLength(qsizetype size, int count)
{
    if (count <= 0 || size < 2 || (size - 2) % count != 0)
        return 0;
    return std::max<qsizetype>((size - 2) / count - BlockFrame, 0);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A line group as the walker found it: where its bytes lie in the content, and its lines.
struct Group
{
    qsizetype from = 0;
    qsizetype to = 0;
    QList<QByteArray> lines;
};

// Reads the content from its head on: the groups in turn, then the tail.
class ContentWalker
{
public:
    explicit ContentWalker(const QByteArray& content) : m_content(content), m_at(head().size()) {}

    // The next group; none when its count is not two hexadecimal digits or the content ends
    // before its last line does (why says which).
    std::optional<Group> nextGroup(QString& why)
    {
        passDC1();
        Group g;
        g.from = m_at;
        const int high = m_at + 1 < m_content.size() ? hexDigit(m_content.at(m_at)) : -1;
        const int low = m_at + 1 < m_content.size() ? hexDigit(m_content.at(m_at + 1)) : -1;
        if (high < 0 || low < 0) {
            why = m_at + 1 < m_content.size()
                      ? QStringLiteral("its line count \"%1\" is not a hexadecimal number")
                            .arg(BytesToTagText(m_content.mid(m_at, 2)))
                      : QStringLiteral("the data ends where its line count is due");
            return std::nullopt;
        }
        const int count = high * 16 + low;
        // The rest of the count's line, then one line per count.
        qsizetype at = m_content.indexOf(LineEnd, m_at + 2);
        for (int line = 0; line <= count; ++line) {
            if (at < 0) {
                why = QStringLiteral("the data ends inside it (%1 lines announced)").arg(count);
                return std::nullopt;
            }
            at += LineEnd.size();
            if (line == count)
                break;
            const qsizetype end = m_content.indexOf(LineEnd, at);
            if (end >= 0)
                g.lines.append(m_content.mid(at, end - at));
            at = end;
        }
        m_at = g.to = at;
        return g;
    }

    // Whether the tail stands next (a DC1 passed over first); `at` receives where it begins.
    bool tailFollows(qsizetype& at)
    {
        passDC1();
        at = m_at;
        return m_content.mid(m_at, tail().size()) == tail();
    }

private:
    void passDC1()
    {
        if (m_at < m_content.size() && m_content.at(m_at) == DC1)
            ++m_at;
    }

    const QByteArray& m_content;
    qsizetype m_at;
};

// A line's name and value: split at the first zero byte, blank or tab, the value trimmed; none
// without a separator.
std::optional<std::pair<QByteArray, QByteArray>> nameAndValue(const QByteArray& line)
{
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line.at(i) == '\0' || line.at(i) == ' ' || line.at(i) == '\t')
            return std::pair(line.left(i), TrimBytes(line.mid(i + 1)));
    return std::nullopt;
}

// The header items of group 1: the name in the file and the one in the list.
constexpr std::pair<const char*, const char*> HeaderItems[] = {
    {"DATE", "Date"},
    {"TIME", "Time"},
    {"ID1", "Code"},
    {"SEQUENCE", "SeqNo"},
    {"ID2", "ID2"},
    {"CASS/POS", "CASS/POS"},
    {"1EC/P", "1EC/P"},
    {"ID1STATUS", "ID1STATUS"},
    {"C/PSTATUS", "C/PSTATUS"},
    {"WLSTATUS", "WLSTATUS"},
};

void addHeaderItems(const Group& group, QStringList& Header)
{
    QList<std::pair<QByteArray, QByteArray>> items;
    for (const QByteArray& line : group.lines)
        if (auto item = nameAndValue(line))
            items.append(*item);
    for (const auto& [name, shown] : HeaderItems)
        for (const auto& [itemName, value] : items)
            if (itemName == name) {
                Header.append(QLatin1String(shown) + u'=' + AnsiText(value));
                break;
            }
}

void addResults(const Group& group, QStringList& Results, QStringList* Legend)
{
    for (const QByteArray& line : group.lines) {
        const auto item = nameAndValue(line);
        if (!item)
            continue;
        const QString code = AnsiText(item->first);
        const TMDevDataRow* row = FindMDevDataCode(mdMaxM, code);
        if (!row || !row->VISIBLE)
            continue;
        Results.append(code + u'=' + AnsiText(item->second.left(6)) + u'\t' +
                       row->DIM_STR.toString());
        AddLegend(Legend, *row);
    }
}

// ---- the rewrite

// A received file's blocks: their data joined, and their trailers.
struct Blocks
{
    QByteArray data;
    QList<QByteArray> trailers;
};

// Walks the blocks: an STX and its two number digits open one, an ETX closes it; the last four
// bytes before the ETX are its trailer. Bytes between blocks are passed over.
std::optional<Blocks> receivedBlocks(const QByteArray& file, int count, QString& why)
{
    Blocks blocks;
    qsizetype start = -1; // where the open block's bytes begin
    for (qsizetype i = 2; i < file.size(); ++i) {
        const char c = file.at(i);
        if (c == STX && start < 0) {
            start = i + 1 + NumberDigits;
            i += NumberDigits;
        } else if (c == ETX && start >= 0) {
            if (i - start < TrailerSize) {
                why = QStringLiteral("block %1 is shorter than its trailer")
                          .arg(blocks.trailers.size() + 1);
                return std::nullopt;
            }
            blocks.data += file.mid(start, i - start - TrailerSize);
            blocks.trailers.append(file.mid(i - TrailerSize, TrailerSize));
            start = -1;
        } else if (c == STX || c == ETX) {
            why = QStringLiteral("block %1 %2")
                      .arg(blocks.trailers.size() + 1)
                      .arg(c == STX ? QStringLiteral("begins before the one before it ended")
                                    : QStringLiteral("ends without having begun"));
            return std::nullopt;
        }
    }
    if (start >= 0 || blocks.trailers.size() != count) {
        why = QStringLiteral("%1 blocks announced, %2 found whole")
                  .arg(count)
                  .arg(blocks.trailers.size());
        return std::nullopt;
    }
    return blocks;
}

// The file in its stored layout; none when it is to stay as it is: `why` then says why it cannot
// be rewritten, or is empty when it needs no rewrite.
std::optional<QByteArray> storedLayout(const QByteArray& file, QString& why)
{
    const int count = HMXTwoDigits(file);
    if (count < 0) {
        why = QStringLiteral("the block count \"%1\" is not a number")
                  .arg(BytesToTagText(file.left(2)));
        return std::nullopt;
    }
    const qsizetype length = count > 0 ? (file.size() - 2) / count - BlockFrame : 0;
    if (count == 0 || length == 128 || length == StoredBlock)
        return std::nullopt;

    const std::optional<Blocks> blocks = receivedBlocks(file, count, why);
    if (!blocks)
        return std::nullopt;
    const QByteArray& data = blocks->data;
    if (data.size() < head().size()) {
        why = QStringLiteral("the data ends inside the head");
        return std::nullopt;
    }
    QByteArray content = data.left(head().size()) + DC1;
    ContentWalker walker(data);
    for (int g = 1; g <= GroupCount; ++g) {
        QString groupWhy;
        const std::optional<Group> group = walker.nextGroup(groupWhy);
        if (!group) {
            why = QStringLiteral("line group %1: %2").arg(g).arg(groupWhy);
            return std::nullopt;
        }
        content += data.mid(group->from, group->to - group->from) + DC1;
    }
    qsizetype tailAt = 0;
    walker.tailFollows(tailAt);
    if (data.size() - tailAt < tail().size()) {
        why = QStringLiteral("the data ends before the tail");
        return std::nullopt;
    }
    content += data.mid(tailAt, tail().size());
    const qsizetype room = qsizetype(count) * StoredBlock;
    if (content.size() > room) {
        why = QStringLiteral("its content of %1 bytes does not fit into %2 blocks of %3 bytes")
                  .arg(content.size())
                  .arg(count)
                  .arg(StoredBlock);
        return std::nullopt;
    }
    content.append(QByteArray(room - content.size(), ' '));

    QByteArray stored = QByteArray::number(count).rightJustified(2, '0');
    for (int b = 0; b < count; ++b)
        stored += STX + QByteArray::number(b + 1, 16).toUpper().rightJustified(2, '0') +
                  content.mid(b * StoredBlock, StoredBlock) + blocks->trailers.at(b) + ETX;
    return stored;
}

void logFailure(const QString& fileName, const QString& why)
{
    AppendLogLine(
        OperationsLogFileName(),
        OneLogLine(QStringLiteral("Proc. CorrectMaxM: \"%1\": %2; the file is kept as received")
                       .arg(fileName, why)),
        false);
}

} // namespace

bool ViewMaxMFile(const QString& FileName, QStringList& Header, QStringList& Results,
                  QStringList* Legend)
{
    ClearDecoderLists(Header, Results, Legend);
    const QByteArray file = files::readWholeFile(FileName);
    const int count = HMXTwoDigits(file);
    const qsizetype length = blockLength(file.size(), count);
    if (length == 0)
        return false;
    QByteArray content;
    content.reserve(length * count);
    for (int b = 0; b < count; ++b)
        content += file.mid(2 + b * (length + BlockFrame) + 1 + NumberDigits, length);
    if (!content.startsWith(head()))
        return false;

    ContentWalker walker(content);
    for (int g = 1; g <= GroupCount; ++g) {
        QString why;
        const std::optional<Group> group = walker.nextGroup(why);
        if (!group)
            return false;
        if (g == 1)
            addHeaderItems(*group, Header);
        else if (g <= 4)
            addResults(*group, Results, Legend);
    }
    qsizetype tailAt = 0;
    return walker.tailFollows(tailAt);
}

bool RestructureRecordFile(const QString& FileName)
{
    QString why;
    try {
        const QByteArray file = files::readWholeFile(FileName);
        const std::optional<QByteArray> stored = storedLayout(file, why);
        if (stored && fileops::writeFile(FileName, *stored, &why))
            return true;
    } catch (const std::exception& e) {
        why = exceptionMessage(e);
    } catch (...) {
        why = QStringLiteral("an unknown error");
    }
    if (!why.isEmpty())
        logFailure(FileName, why);
    return false;
}

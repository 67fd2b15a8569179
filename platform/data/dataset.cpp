// The cursor dataset base: field binding, the state machine with its classic event order,
// navigation through the filter, bookmarks, Locate and Lookup, the filter expression, counted
// DisableControls and the observers. The record storage itself is the backend's.
#include "dataset.h"

#include "collation.h"

namespace {

QString tr(const char* text)
{
    return QString::fromLatin1(text);
}

// Runs a function when the scope is left, unless dismissed first.
template <typename F> class Restore
{
public:
    explicit Restore(F f) : m_f(std::move(f)) {}
    ~Restore()
    {
        if (m_armed)
            m_f();
    }
    void dismiss() { m_armed = false; }

private:
    F m_f;
    bool m_armed = true;
};

QStringList splitFieldList(const QString& names)
{
    QStringList out;
    for (const QString& part : names.split(QLatin1Char(';'))) {
        const QString n = part.trimmed();
        if (!n.isEmpty())
            out.append(n);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Filter expression: parsed once when set, evaluated against the record under test.

struct DataSet::FilterExpr
{
    enum class Kind { And, Or, Not, Compare, IsTrue, Constant };
    enum class Cmp { Eq, Ne, Lt, Gt, Le, Ge };
    struct Operand
    {
        bool isField = false;
        QString name;
        Variant literal; // Null for NULL
    };

    Kind kind = Kind::Constant;
    std::unique_ptr<FilterExpr> left, right;
    Cmp cmp = Cmp::Eq;
    Operand a, b;
    bool constant = true;

    static std::unique_ptr<FilterExpr> parse(const QString& text);
    bool evaluate(const DataSet& ds, const QList<Variant>& buffer, bool caseInsensitive) const;
};

namespace {

struct Token
{
    enum Type { End, Name, String, Number, Op, LParen, RParen } type = End;
    QString text;
};

class FilterLexer
{
public:
    explicit FilterLexer(const QString& text) : m_text(text) {}

    Token next()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
        Token t;
        if (m_pos >= m_text.size())
            return t;
        const QChar c = m_text.at(m_pos);
        if (c == QLatin1Char('(') || c == QLatin1Char(')')) {
            ++m_pos;
            t.type = c == QLatin1Char('(') ? Token::LParen : Token::RParen;
            return t;
        }
        if (c == QLatin1Char('\'')) {
            ++m_pos;
            t.type = Token::String;
            for (;;) {
                if (m_pos >= m_text.size())
                    throw EDBEditError(tr("Unterminated string in filter: %1").arg(m_text));
                const QChar d = m_text.at(m_pos++);
                if (d == QLatin1Char('\'')) {
                    if (m_pos < m_text.size() && m_text.at(m_pos) == QLatin1Char('\'')) {
                        t.text.append(d);
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                t.text.append(d);
            }
            return t;
        }
        if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
            const qsizetype end = m_text.indexOf(close, m_pos + 1);
            if (end < 0)
                throw EDBEditError(tr("Unterminated field name in filter: %1").arg(m_text));
            t.type = Token::Name;
            t.text = m_text.mid(m_pos + 1, end - m_pos - 1);
            m_pos = end + 1;
            return t;
        }
        if (c.isDigit() || ((c == QLatin1Char('-') || c == QLatin1Char('.')) &&
                            m_pos + 1 < m_text.size() && m_text.at(m_pos + 1).isDigit())) {
            const qsizetype start = m_pos++;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == QLatin1Char('.')))
                ++m_pos;
            t.type = Token::Number;
            t.text = m_text.mid(start, m_pos - start);
            return t;
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = m_pos++;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == QLatin1Char('_')))
                ++m_pos;
            t.type = Token::Name;
            t.text = m_text.mid(start, m_pos - start);
            return t;
        }
        static const char* const ops[] = {"<>", "<=", ">=", "=", "<", ">"};
        for (const char* op : ops) {
            const QLatin1StringView v(op);
            if (QStringView(m_text).mid(m_pos).startsWith(v)) {
                m_pos += v.size();
                t.type = Token::Op;
                t.text = v.toString();
                return t;
            }
        }
        throw EDBEditError(tr("Invalid character '%1' in filter: %2").arg(c).arg(m_text));
    }

private:
    QString m_text;
    qsizetype m_pos = 0;
};

class FilterParser
{
    using Expr = DataSet::FilterExpr;

public:
    explicit FilterParser(const QString& text) : m_text(text), m_lexer(text) { advance(); }

    std::unique_ptr<Expr> parseAll()
    {
        auto e = parseOr();
        if (m_tok.type != Token::End)
            fail();
        return e;
    }

private:
    static bool isWord(const Token& t, const char* word)
    {
        return t.type == Token::Name &&
               t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
    [[noreturn]] void fail() const
    {
        throw EDBEditError(tr("Invalid filter expression: %1").arg(m_text));
    }
    void advance() { m_tok = m_lexer.next(); }

    std::unique_ptr<Expr> binary(Expr::Kind kind, std::unique_ptr<Expr> l, std::unique_ptr<Expr> r)
    {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->left = std::move(l);
        e->right = std::move(r);
        return e;
    }
    std::unique_ptr<Expr> parseOr()
    {
        auto e = parseAnd();
        while (isWord(m_tok, "or")) {
            advance();
            e = binary(Expr::Kind::Or, std::move(e), parseAnd());
        }
        return e;
    }
    std::unique_ptr<Expr> parseAnd()
    {
        auto e = parseNot();
        while (isWord(m_tok, "and")) {
            advance();
            e = binary(Expr::Kind::And, std::move(e), parseNot());
        }
        return e;
    }
    std::unique_ptr<Expr> parseNot()
    {
        if (isWord(m_tok, "not")) {
            advance();
            return binary(Expr::Kind::Not, parseNot(), nullptr);
        }
        return parsePrimary();
    }
    Expr::Operand parseOperand()
    {
        Expr::Operand o;
        switch (m_tok.type) {
        case Token::String:
            o.literal = Variant(m_tok.text);
            break;
        case Token::Number: {
            bool ok = false;
            const qint64 i = m_tok.text.toLongLong(&ok);
            if (ok) {
                o.literal = Variant(i);
            } else {
                const double d = m_tok.text.toDouble(&ok);
                if (!ok)
                    fail();
                o.literal = Variant(d);
            }
            break;
        }
        case Token::Name:
            if (isWord(m_tok, "null")) {
                o.literal = Variant::null();
            } else if (isWord(m_tok, "true") || isWord(m_tok, "false")) {
                o.literal = Variant(isWord(m_tok, "true"));
            } else {
                o.isField = true;
                o.name = m_tok.text;
            }
            break;
        default:
            fail();
        }
        advance();
        return o;
    }
    std::unique_ptr<Expr> parsePrimary()
    {
        if (m_tok.type == Token::LParen) {
            advance();
            auto e = parseOr();
            if (m_tok.type != Token::RParen)
                fail();
            advance();
            return e;
        }
        auto e = std::make_unique<Expr>();
        e->a = parseOperand();
        if (isWord(m_tok, "is")) {
            advance();
            e->cmp = Expr::Cmp::Eq;
            if (isWord(m_tok, "not")) {
                e->cmp = Expr::Cmp::Ne;
                advance();
            }
            if (!isWord(m_tok, "null"))
                fail();
            advance();
            e->kind = Expr::Kind::Compare;
            e->b.literal = Variant::null();
            return e;
        }
        if (m_tok.type != Token::Op) {
            if (e->a.isField) {
                e->kind = Expr::Kind::IsTrue;
            } else if (e->a.literal.type() == Variant::Type::Boolean) {
                e->kind = Expr::Kind::Constant;
                e->constant = e->a.literal.toBool();
            } else {
                fail();
            }
            return e;
        }
        static const struct
        {
            const char* text;
            Expr::Cmp cmp;
        } ops[] = {{"=", Expr::Cmp::Eq}, {"<>", Expr::Cmp::Ne}, {"<", Expr::Cmp::Lt},
                   {">", Expr::Cmp::Gt}, {"<=", Expr::Cmp::Le}, {">=", Expr::Cmp::Ge}};
        for (const auto& op : ops) {
            if (m_tok.text == QLatin1String(op.text))
                e->cmp = op.cmp;
        }
        advance();
        e->b = parseOperand();
        e->kind = Expr::Kind::Compare;
        if (!e->a.isField && !e->b.isField)
            fail();
        return e;
    }

    QString m_text;
    FilterLexer m_lexer;
    Token m_tok;
};

} // namespace

std::unique_ptr<DataSet::FilterExpr> DataSet::FilterExpr::parse(const QString& text)
{
    return FilterParser(text).parseAll();
}

bool DataSet::FilterExpr::evaluate(const DataSet& ds, const QList<Variant>& buffer,
                                   bool caseInsensitive) const
{
    switch (kind) {
    case Kind::And:
        return left->evaluate(ds, buffer, caseInsensitive) &&
               right->evaluate(ds, buffer, caseInsensitive);
    case Kind::Or:
        return left->evaluate(ds, buffer, caseInsensitive) ||
               right->evaluate(ds, buffer, caseInsensitive);
    case Kind::Not:
        return !left->evaluate(ds, buffer, caseInsensitive);
    case Kind::Constant:
        return constant;
    case Kind::IsTrue: {
        const Field* f = ds.fieldByName(a.name);
        const Variant& v = buffer.at(slotOf(f));
        return !v.isEmpty() && v.toBool();
    }
    case Kind::Compare:
        break;
    }
    // Field against literal (or field against field): the other side takes the field's type.
    const Operand& fo = a.isField ? a : b;
    const Operand& oo = a.isField ? b : a;
    const Field* f = ds.fieldByName(fo.name);
    const Variant fv = buffer.at(slotOf(f));
    Variant ov = oo.isField ? buffer.at(slotOf(ds.fieldByName(oo.name))) : oo.literal;
    Cmp op = cmp;
    if (!a.isField) { // literal on the left: mirror the operator
        switch (cmp) {
        case Cmp::Lt:
            op = Cmp::Gt;
            break;
        case Cmp::Gt:
            op = Cmp::Lt;
            break;
        case Cmp::Le:
            op = Cmp::Ge;
            break;
        case Cmp::Ge:
            op = Cmp::Le;
            break;
        default:
            break;
        }
    }
    if (ov.isEmpty() || fv.isEmpty()) {
        const bool bothNull = ov.isEmpty() && fv.isEmpty();
        if (op == Cmp::Eq)
            return bothNull;
        if (op == Cmp::Ne)
            return !bothNull;
        return false;
    }
    ov = convertFieldValue(f->dataType(), 0, ov);
    int c;
    if (isTextType(f->dataType()) && caseInsensitive)
        c = collation::compareFolded(fv.toString(), ov.toString());
    else
        c = compareFieldValues(f->dataType(), fv, ov);
    switch (op) {
    case Cmp::Eq:
        return c == 0;
    case Cmp::Ne:
        return c != 0;
    case Cmp::Lt:
        return c < 0;
    case Cmp::Gt:
        return c > 0;
    case Cmp::Le:
        return c <= 0;
    case Cmp::Ge:
        return c >= 0;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// DataSet

DataSet::DataSet(QObject* parent) : QObject(parent)
{
}

DataSet::~DataSet() = default;

QString DataSet::messagePrefix() const
{
    return objectName().isEmpty() ? QString() : objectName() + QStringLiteral(": ");
}

void DataSet::checkActive() const
{
    if (m_state == State::Inactive)
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on a closed dataset"));
}

void DataSet::run(const NotifyEvent& event)
{
    if (event)
        event(*this);
}

// ---- fields

Field* DataSet::addField(const QString& name, FieldType type, int size, Field::Kind kind)
{
    if (isActive())
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an open dataset"));
    if (findField(name))
        throw EDBEditError(messagePrefix() + tr("Duplicate field name '%1'").arg(name));
    m_fields.push_back(std::unique_ptr<Field>(new Field(this, name, type, size, kind)));
    return m_fields.back().get();
}

void DataSet::clearFields()
{
    if (isActive())
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an open dataset"));
    m_fields.clear();
}

Field* DataSet::findField(const QString& name) const
{
    for (const auto& f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field* DataSet::fieldByName(const QString& name) const
{
    Field* f = findField(name);
    if (!f)
        throw EDBEditError(QStringLiteral("%1 : Champ '%2' non trouvé").arg(objectName(), name));
    return f;
}

QStringList DataSet::fieldNames() const
{
    QStringList names;
    for (const auto& f : m_fields)
        names.append(f->fieldName());
    return names;
}

void DataSet::bindFields()
{
    bool persistentData = false;
    for (const auto& f : m_fields)
        persistentData = persistentData || f->fieldKind() == Field::Kind::Data;
    m_defaultFields = !persistentData;
    if (m_defaultFields) {
        // One field per definition, before the persistent calculated ones.
        std::vector<std::unique_ptr<Field>> fields;
        for (const FieldDef& def : m_fieldDefs.list()) {
            auto f = std::unique_ptr<Field>(
                new Field(this, def.name, def.type, def.size, Field::Kind::Data));
            f->m_required = def.required;
            f->m_emptyTextIsValue = def.emptyTextIsValue;
            fields.push_back(std::move(f));
        }
        for (auto& f : m_fields)
            fields.push_back(std::move(f));
        m_fields = std::move(fields);
    }
    m_dataFieldCount = m_fieldDefs.count();
    int calcSlot = m_dataFieldCount;
    for (const auto& f : m_fields) {
        if (f->fieldKind() != Field::Kind::Data) {
            f->m_slot = calcSlot++;
            continue;
        }
        const int i = m_fieldDefs.indexOf(f->fieldName());
        if (i < 0)
            throw EDBEditError(
                QStringLiteral("%1 : Champ '%2' non trouvé").arg(objectName(), f->fieldName()));
        const FieldDef& def = m_fieldDefs.at(i);
        if (def.type != f->dataType())
            throw EDBEditError(
                messagePrefix() +
                tr("Type mismatch for field '%1', expecting: %2 actual: %3")
                    .arg(f->fieldName(), fieldTypeName(f->dataType()), fieldTypeName(def.type)));
        f->m_slot = i;
        f->m_required = f->m_required || def.required;
        f->m_emptyTextIsValue = f->m_emptyTextIsValue || def.emptyTextIsValue;
    }
    m_buffer = QList<Variant>(calcSlot);
    m_filterBuffer = QList<Variant>(calcSlot);
}

void DataSet::unbindFields()
{
    if (m_defaultFields) {
        std::erase_if(m_fields, [](const auto& f) { return f->fieldKind() == Field::Kind::Data; });
        m_defaultFields = false;
    }
    for (const auto& f : m_fields)
        f->m_slot = -1;
    m_buffer.clear();
    m_filterBuffer.clear();
}

int DataSet::bufferSize() const
{
    return int(m_buffer.size());
}

QList<Variant>* DataSet::stateBuffer(State state)
{
    if (m_viewBuffer && state != State::SetKey && state != State::Filter &&
        state != State::CalcFields)
        return m_viewBuffer;
    switch (state) {
    case State::Inactive:
        return nullptr;
    case State::Filter:
        return &m_filterBuffer;
    case State::CalcFields:
        return m_calcTarget;
    default:
        return &m_buffer;
    }
}

Variant DataSet::fieldValue(const Field& field) const
{
    const QList<Variant>* buffer = const_cast<DataSet*>(this)->stateBuffer(m_state);
    if (!buffer || field.m_slot < 0 || field.m_slot >= buffer->size())
        return Variant::null();
    return buffer->at(field.m_slot);
}

void DataSet::setFieldValue(Field& field, const Variant& value)
{
    switch (m_state) {
    case State::Edit:
    case State::Insert:
        if (m_viewBuffer)
            throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
        if (field.isReadOnly())
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' cannot be modified").arg(field.displayLabel()));
        break;
    case State::SetKey:
        break;
    case State::CalcFields:
        if (field.fieldKind() == Field::Kind::Data)
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' cannot be modified").arg(field.displayLabel()));
        break;
    case State::Inactive:
        checkActive();
        [[fallthrough]];
    default:
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    }
    QList<Variant>* buffer = stateBuffer(m_state);
    Q_ASSERT(buffer && field.m_slot >= 0 && field.m_slot < buffer->size());
    Variant converted = field.convert(value);
    if (m_state == State::SetKey) {
        (*buffer)[field.m_slot] = std::move(converted);
        keyValueAssigned(field.m_slot);
        notifyRecordChanged(&field);
        return;
    }
    if (m_state == State::CalcFields) {
        (*buffer)[field.m_slot] = std::move(converted);
        return;
    }
    if (field.onValidate)
        field.onValidate(field, converted);
    (*buffer)[field.m_slot] = std::move(converted);
    m_modified = true;
    if (field.fieldKind() == Field::Kind::Data)
        calculateFields(m_buffer);
    if (field.onChange)
        field.onChange(field);
    notifyRecordChanged(&field);
}

void DataSet::calculateFields(QList<Variant>& buffer)
{
    if (!onCalcFields || m_dataFieldCount >= buffer.size())
        return;
    for (qsizetype i = m_dataFieldCount; i < buffer.size(); ++i)
        buffer[i] = Variant::null();
    const State saved = m_state;
    QList<Variant>* savedTarget = m_calcTarget;
    m_calcTarget = &buffer;
    m_state = State::CalcFields;
    Restore restore([&] {
        m_state = saved;
        m_calcTarget = savedTarget;
    });
    onCalcFields(*this);
}

void DataSet::checkRequiredFields() const
{
    for (const auto& f : m_fields) {
        if (!f->isRequired() || f->fieldKind() != Field::Kind::Data ||
            f->dataType() == FieldType::AutoInc)
            continue;
        const Variant& v = m_buffer.at(f->m_slot);
        const bool missing =
            v.isEmpty() || (isTextType(f->dataType()) && !f->emptyTextIsValue() &&
                            v.type() == Variant::Type::String && v.stringView().isEmpty());
        if (missing)
            throw EDBEditError(messagePrefix() +
                               tr("Field '%1' must have a value").arg(f->displayLabel()));
    }
}

// ---- reading and the filter

void DataSet::readCurrent()
{
    if (m_hasCurrent) {
        internalRead(m_buffer);
        for (qsizetype i = m_dataFieldCount; i < m_buffer.size(); ++i)
            m_buffer[i] = Variant::null();
        calculateFields(m_buffer);
    } else {
        for (Variant& v : m_buffer)
            v = Variant::null();
    }
}

bool DataSet::hasFilter() const
{
    return m_filtered && (m_filterExpr || onFilterRecord);
}

void DataSet::readCandidate()
{
    internalRead(m_filterBuffer);
    for (qsizetype i = m_dataFieldCount; i < m_filterBuffer.size(); ++i)
        m_filterBuffer[i] = Variant::null();
    calculateFields(m_filterBuffer);
}

bool DataSet::candidateAccepted()
{
    if (m_filterExpr && !m_filterExpr->evaluate(*this, m_filterBuffer,
                                                m_filterOptions.testFlag(FilterCaseInsensitive)))
        return false;
    if (!onFilterRecord)
        return true;
    const State saved = m_state;
    m_state = State::Filter;
    Restore restore([&] { m_state = saved; });
    bool accept = true;
    onFilterRecord(*this, accept);
    return accept;
}

bool DataSet::recordAccepted()
{
    if (!hasFilter())
        return true;
    readCandidate();
    return candidateAccepted();
}

bool DataSet::seekVisible(bool forward, bool includeCurrent)
{
    if (includeCurrent && recordAccepted())
        return true;
    if (!hasFilter())
        return forward ? internalNext() : internalPrior();
    const Bookmark start = internalBookmark();
    while (forward ? internalNext() : internalPrior()) {
        if (recordAccepted())
            return true;
    }
    if (!start.isNull())
        internalGotoBookmark(start);
    return false;
}

void DataSet::moveToFirstVisible()
{
    m_hasCurrent = internalFirst() && seekVisible(true, true);
    m_bof = true;
    m_eof = !m_hasCurrent;
}

void DataSet::moveToLastVisible()
{
    m_hasCurrent = internalLast() && seekVisible(false, true);
    m_eof = true;
    m_bof = !m_hasCurrent;
}

DataSet::Position DataSet::savePosition() const
{
    return Position{internalBookmark()};
}

void DataSet::restorePosition(const Position& position)
{
    if (position.bookmark.isNull() || !internalGotoBookmark(position.bookmark))
        internalFirst();
}

// ---- notifications

void DataSet::notifyDataSetChanged()
{
    if (m_disableCount > 0) {
        m_pendingNotify = true;
        return;
    }
    if (m_observers.isEmpty())
        return;
    const auto observers = m_observers;
    for (DataSetObserver* o : observers)
        o->dataSetChanged(*this);
}

void DataSet::notifyRecordChanged(Field* field)
{
    if (m_disableCount > 0) {
        m_pendingNotify = true;
        return;
    }
    if (m_observers.isEmpty())
        return;
    const auto observers = m_observers;
    for (DataSetObserver* o : observers)
        o->recordChanged(*this, field);
}

void DataSet::notifyStateChanged()
{
    if (m_disableCount > 0) {
        m_pendingNotify = true;
        return;
    }
    if (m_observers.isEmpty())
        return;
    const auto observers = m_observers;
    for (DataSetObserver* o : observers)
        o->stateChanged(*this);
}

void DataSet::notifyScrolled()
{
    if (m_disableCount > 0) {
        m_pendingNotify = true;
        return;
    }
    if (m_observers.isEmpty())
        return;
    const auto observers = m_observers;
    for (DataSetObserver* o : observers)
        o->scrolled(*this);
}

void DataSet::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    notifyStateChanged();
}

void DataSet::disableControls()
{
    ++m_disableCount;
}

void DataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingNotify) {
        m_pendingNotify = false;
        notifyDataSetChanged();
    }
}

void DataSet::addObserver(DataSetObserver* observer)
{
    if (observer && !m_observers.contains(observer))
        m_observers.append(observer);
}

void DataSet::removeObserver(DataSetObserver* observer)
{
    m_observers.removeAll(observer);
}

// ---- opening and closing

void DataSet::open()
{
    if (isActive())
        return;
    run(beforeOpen);
    try {
        internalOpen();
        bindFields();
        m_state = State::Browse;
        fieldsChanged();
        moveToFirstVisible();
        readCurrent();
    } catch (...) {
        m_state = State::Inactive;
        try {
            internalClose();
        } catch (...) {
        }
        unbindFields();
        throw;
    }
    m_modified = false;
    notifyStateChanged();
    notifyDataSetChanged();
    run(afterOpen);
    if (m_hasCurrent)
        run(afterScroll);
}

void DataSet::close()
{
    if (!isActive())
        return;
    run(beforeClose);
    m_state = State::Inactive;
    m_modified = false;
    m_hasCurrent = false;
    m_bof = m_eof = true;
    Restore cleanup([this] {
        unbindFields();
        fieldsChanged();
        notifyStateChanged();
        notifyDataSetChanged();
    });
    internalClose();
    cleanup.dismiss();
    unbindFields();
    fieldsChanged();
    notifyStateChanged();
    notifyDataSetChanged();
    run(afterClose);
}

void DataSet::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

void DataSet::refresh()
{
    checkActive();
    checkBrowseMode();
    const Bookmark current = m_hasCurrent ? internalBookmark() : Bookmark();
    internalRefresh();
    if (!current.isNull() && internalGotoBookmark(current) && recordAccepted()) {
        m_hasCurrent = true;
        m_bof = m_eof = false;
    } else {
        moveToFirstVisible();
    }
    readCurrent();
    notifyDataSetChanged();
}

void DataSet::resync(bool toFirst)
{
    if (!isActive())
        return;
    if (!toFirst && m_hasCurrent && !internalBookmark().isNull() && recordAccepted()) {
        m_bof = m_eof = false;
    } else if (!toFirst && m_hasCurrent && seekVisible(true, false)) {
        m_bof = m_eof = false;
    } else {
        moveToFirstVisible();
    }
    readCurrent();
    notifyDataSetChanged();
}

// ---- navigation

void DataSet::beginScroll()
{
    checkActive();
    checkBrowseMode();
    run(beforeScroll);
}

void DataSet::endScroll()
{
    readCurrent();
    notifyScrolled();
    run(afterScroll);
}

void DataSet::first()
{
    beginScroll();
    moveToFirstVisible();
    endScroll();
}

void DataSet::last()
{
    beginScroll();
    moveToLastVisible();
    endScroll();
}

bool DataSet::step(bool forward)
{
    if (!m_hasCurrent)
        return false;
    if (!seekVisible(forward, false))
        return false;
    return true;
}

int DataSet::moveBy(int distance)
{
    beginScroll();
    int moved = 0;
    while (distance > 0) {
        if (!step(true)) {
            m_eof = true;
            break;
        }
        m_bof = false;
        m_eof = false;
        ++moved;
        --distance;
    }
    while (distance < 0) {
        if (!step(false)) {
            m_bof = true;
            break;
        }
        m_bof = false;
        m_eof = false;
        --moved;
        ++distance;
    }
    endScroll();
    return moved;
}

void DataSet::next()
{
    moveBy(1);
}
void DataSet::prior()
{
    moveBy(-1);
}

bool DataSet::isEmpty() const
{
    return !isActive() || !m_hasCurrent;
}

int DataSet::recordCount() const
{
    checkActive();
    DataSet* self = const_cast<DataSet*>(this);
    if (!hasFilter()) {
        const int n = internalRecordCount();
        if (n >= 0)
            return n;
    }
    const Position saved = savePosition();
    int count = 0;
    if (self->internalFirst()) {
        do {
            if (self->recordAccepted())
                ++count;
        } while (self->internalNext());
    }
    self->restorePosition(saved);
    return count;
}

int DataSet::recNo() const
{
    checkActive();
    if (!m_hasCurrent || m_state == State::Insert)
        return 0;
    DataSet* self = const_cast<DataSet*>(this);
    if (!hasFilter()) {
        const int n = internalRecNo();
        if (n >= 0)
            return n;
    }
    const Position saved = savePosition();
    int count = 0;
    bool found = false;
    if (self->internalFirst()) {
        do {
            if (self->recordAccepted())
                ++count;
            if (internalBookmark() == saved.bookmark) {
                found = true;
                break;
            }
        } while (self->internalNext());
    }
    self->restorePosition(saved);
    return found ? count : 0;
}

void DataSet::setRecNo(int recNo)
{
    beginScroll();
    bool moved = false;
    if (!hasFilter()) {
        moved = internalSetRecNo(recNo);
        if (!moved && internalRecNo() < 0) {
            // The backend cannot jump: walk.
            int n = 0;
            const Position saved = savePosition();
            if (internalFirst()) {
                do {
                    if (++n == recNo) {
                        moved = true;
                        break;
                    }
                } while (internalNext());
            }
            if (!moved)
                restorePosition(saved);
        }
    } else {
        int n = 0;
        const Position saved = savePosition();
        if (internalFirst()) {
            do {
                if (recordAccepted() && ++n == recNo) {
                    moved = true;
                    break;
                }
            } while (internalNext());
        }
        if (!moved)
            restorePosition(saved);
    }
    if (moved) {
        m_hasCurrent = true;
        m_bof = m_eof = false;
    }
    endScroll();
}

// ---- editing

void DataSet::checkBrowseMode()
{
    checkActive();
    switch (m_state) {
    case State::Edit:
    case State::Insert:
        if (m_modified)
            post();
        else
            cancel();
        break;
    case State::SetKey:
        cancel();
        break;
    default:
        break;
    }
}

void DataSet::checkCanModify() const
{
    if (!canModify())
        throw EDBEditError(messagePrefix() + tr("Cannot modify a read-only dataset"));
}

void DataSet::edit()
{
    checkActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    checkBrowseMode();
    if (!m_hasCurrent) {
        insert();
        return;
    }
    checkCanModify();
    run(beforeEdit);
    readCurrent();
    m_modified = false;
    setState(State::Edit);
    notifyRecordChanged(nullptr);
    run(afterEdit);
}

void DataSet::beginInsertAppend(PostMode mode)
{
    checkActive();
    checkBrowseMode();
    checkCanModify();
    run(beforeInsert);
    run(beforeScroll);
    m_insertMode = mode;
    for (Variant& v : m_buffer)
        v = Variant::null();
    internalInitRecord(m_buffer);
    m_modified = false;
    setState(State::Insert);
    try {
        calculateFields(m_buffer);
        run(onNewRecord);
    } catch (...) {
        m_modified = false;
        setState(State::Browse);
        readCurrent();
        throw;
    }
    // Values given by OnNewRecord are defaults: a record nobody touched is dropped by a move.
    m_modified = false;
    notifyRecordChanged(nullptr);
    run(afterInsert);
    run(afterScroll);
}

void DataSet::insert()
{
    beginInsertAppend(PostMode::Insert);
}
void DataSet::append()
{
    beginInsertAppend(PostMode::Append);
}

void DataSet::post()
{
    checkActive();
    if (m_state == State::SetKey) {
        cancel();
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert)
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    run(beforePost);
    if (m_state != State::Edit && m_state != State::Insert)
        return; // the handler posted or cancelled the record itself
    checkRequiredFields();
    const PostMode mode = m_state == State::Edit ? PostMode::Edit : m_insertMode;
    m_hasCurrent = internalPost(m_buffer, mode);
    if (m_hasCurrent && hasFilter() && !recordAccepted()) {
        // The written record no longer passes the filter: stand on a neighbour.
        m_hasCurrent = seekVisible(true, false) || seekVisible(false, false);
    }
    finishWrite();
    run(afterPost);
}

void DataSet::finishWrite()
{
    m_modified = false;
    m_bof = m_eof = !m_hasCurrent;
    const bool stateChanged = m_state != State::Browse;
    m_state = State::Browse;
    readCurrent();
    if (stateChanged)
        notifyStateChanged();
    notifyDataSetChanged();
}

void DataSet::cancel()
{
    checkActive();
    if (m_state == State::SetKey) {
        setState(State::Browse);
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    run(beforeCancel);
    m_modified = false;
    m_state = State::Browse;
    readCurrent();
    notifyStateChanged();
    notifyRecordChanged(nullptr);
    run(afterCancel);
}

void DataSet::deleteRecord()
{
    checkActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::SetKey)
        cancel();
    if (!m_hasCurrent)
        throw EDBEditError(messagePrefix() +
                           tr("Cannot perform this operation on an empty dataset"));
    checkCanModify();
    run(beforeDelete);
    run(beforeScroll);
    m_hasCurrent = internalDelete();
    if (m_hasCurrent && hasFilter())
        m_hasCurrent = seekVisible(true, true) || seekVisible(false, false);
    finishWrite();
    run(afterDelete);
    run(afterScroll);
}

void DataSet::appendRecord(const VariantList& values)
{
    append();
    try {
        int i = 0;
        for (const auto& f : m_fields) {
            if (f->fieldKind() != Field::Kind::Data)
                continue;
            if (i < values.size())
                f->setValue(values.at(i));
            ++i;
        }
        post();
    } catch (...) {
        if (m_state == State::Insert)
            cancel();
        throw;
    }
}

// ---- bookmarks

Bookmark DataSet::bookmark() const
{
    if (!isActive() || !m_hasCurrent || m_state == State::Insert)
        return Bookmark();
    return internalBookmark();
}

bool DataSet::bookmarkValid(const Bookmark& bookmark) const
{
    return isActive() && !bookmark.isNull() && internalBookmarkValid(bookmark);
}

void DataSet::gotoBookmark(const Bookmark& bookmark)
{
    beginScroll();
    const Position saved = savePosition();
    if (bookmark.isNull() || !internalGotoBookmark(bookmark) || !recordAccepted()) {
        restorePosition(saved);
        throw EDBEditError(messagePrefix() + tr("Record not found"));
    }
    m_hasCurrent = true;
    m_bof = m_eof = false;
    endScroll();
}

bool DataSet::viewRecord(const Bookmark& bookmark, const std::function<void()>& visit)
{
    if (!isActive() || bookmark.isNull())
        return false;
    if (m_hasCurrent && m_state != State::Insert && internalBookmark() == bookmark) {
        visit();
        return true;
    }
    const Position saved = savePosition();
    if (!internalGotoBookmark(bookmark)) {
        restorePosition(saved);
        return false;
    }
    QList<Variant> buffer(m_buffer.size());
    try {
        internalRead(buffer);
        restorePosition(saved);
        calculateFields(buffer);
    } catch (...) {
        restorePosition(saved);
        throw;
    }
    QList<Variant>* previous = m_viewBuffer;
    m_viewBuffer = &buffer;
    Restore restore([&] { m_viewBuffer = previous; });
    visit();
    return true;
}

QList<Bookmark> DataSet::bookmarks()
{
    QList<Bookmark> out;
    if (!isActive())
        return out;
    const Position saved = savePosition();
    Restore restore([&] { restorePosition(saved); });
    if (internalFirst()) {
        do {
            if (recordAccepted())
                out.append(internalBookmark());
        } while (internalNext());
    }
    return out;
}

// ---- searching

QList<int> DataSet::fieldSlots(const QString& names, QList<FieldType>* types) const
{
    QList<int> columns;
    for (const QString& name : splitFieldList(names)) {
        const Field* f = fieldByName(name);
        columns.append(f->m_slot);
        if (types)
            types->append(f->dataType());
    }
    return columns;
}

bool DataSet::candidateMatches(const QList<int>& columns, const QList<FieldType>& types,
                               const VariantList& values, LocateOptions options) const
{
    for (int i = 0; i < columns.size(); ++i) {
        const Variant& fv = m_filterBuffer.at(columns.at(i));
        const Variant& sv = values.at(i);
        if (sv.isEmpty() || fv.isEmpty()) {
            if (sv.isEmpty() != fv.isEmpty())
                return false;
            continue;
        }
        const FieldType type = types.at(i);
        if (isTextType(type)) {
            const QString f = fv.toString(), s = sv.toString();
            const bool ci = options.testFlag(CaseInsensitive);
            if (options.testFlag(PartialKey)) {
                const QString ff = ci ? collation::foldedKey(f) : f;
                const QString ss = ci ? collation::foldedKey(s) : s;
                if (!ff.startsWith(ss))
                    return false;
            } else if ((ci ? collation::compareFolded(f, s) : collation::compareExact(f, s)) != 0) {
                return false;
            }
            continue;
        }
        if (compareFieldValues(type, fv, convertFieldValue(type, 0, sv)) != 0)
            return false;
    }
    return true;
}

bool DataSet::search(const QString& keyFields, const VariantList& values, LocateOptions options)
{
    QList<FieldType> types;
    const QList<int> columns = fieldSlots(keyFields, &types);
    if (columns.isEmpty() || columns.size() != values.size())
        throw EDBEditError(messagePrefix() +
                           tr("Locate needs one value per field: %1").arg(keyFields));
    if (internalFirst()) {
        do {
            readCandidate();
            if (candidateMatches(columns, types, values, options) &&
                (!hasFilter() || candidateAccepted()))
                return true;
        } while (internalNext());
    }
    return false;
}

bool DataSet::locate(const QString& keyFields, const VariantList& values, LocateOptions options)
{
    beginScroll();
    const Position saved = savePosition();
    bool found = false;
    try {
        found = search(keyFields, values, options);
    } catch (...) {
        restorePosition(saved);
        throw;
    }
    if (!found) {
        restorePosition(saved);
        return false;
    }
    m_hasCurrent = true;
    m_bof = m_eof = false;
    endScroll();
    return true;
}

bool DataSet::locate(const QString& keyField, const Variant& value, LocateOptions options)
{
    return locate(keyField, VariantList{value}, options);
}

Variant DataSet::lookup(const QString& keyFields, const VariantList& values,
                        const QString& resultField)
{
    checkActive();
    const Field* result = fieldByName(resultField);
    const Position saved = savePosition();
    Restore restore([&] { restorePosition(saved); });
    if (!search(keyFields, values, {}))
        return Variant::null();
    return m_filterBuffer.at(result->m_slot);
}

// ---- filtering

void DataSet::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    if (isActive())
        checkBrowseMode();
    m_filtered = filtered;
    if (isActive())
        resync(true);
}

void DataSet::setFilter(const QString& text)
{
    std::shared_ptr<FilterExpr> expr;
    if (!text.trimmed().isEmpty())
        expr = FilterExpr::parse(text);
    if (isActive() && m_filtered)
        checkBrowseMode();
    m_filterText = text;
    m_filterExpr = std::move(expr);
    if (isActive() && m_filtered)
        resync(true);
}

void DataSet::setFilterOptions(FilterOptions options)
{
    if (isActive() && m_filtered)
        checkBrowseMode();
    m_filterOptions = options;
    if (isActive() && m_filtered)
        resync(true);
}

// ---- backend defaults

void DataSet::internalInitRecord(QList<Variant>&)
{
}
void DataSet::internalRefresh()
{
}
int DataSet::internalRecordCount() const
{
    return -1;
}
int DataSet::internalRecNo() const
{
    return -1;
}
bool DataSet::internalSetRecNo(int)
{
    return false;
}
void DataSet::keyValueAssigned(int)
{
}

// ---------------------------------------------------------------------------------------------
// Index definitions

QStringList IndexDef::fieldList() const
{
    return splitFieldList(fields);
}

void IndexDefs::add(const QString& name, const QString& fields, IndexDef::Options options)
{
    add(IndexDef{name, fields, options});
}

void IndexDefs::add(const IndexDef& def)
{
    if (indexOf(def.name) >= 0)
        throw EDBEditError(tr("Duplicate index name '%1'").arg(def.name));
    m_defs.append(def);
}

void IndexDefs::remove(const QString& name)
{
    const int i = indexOf(name);
    if (i >= 0)
        m_defs.removeAt(i);
}

int IndexDefs::indexOf(const QString& name) const
{
    for (int i = 0; i < m_defs.size(); ++i) {
        if (m_defs.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const IndexDef* IndexDefs::find(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? nullptr : &m_defs.at(i);
}

const IndexDef* IndexDefs::findForFields(const QString& fields) const
{
    const QStringList wanted = splitFieldList(fields);
    for (const IndexDef& def : m_defs) {
        const QStringList have = def.fieldList();
        if (have.size() != wanted.size())
            continue;
        bool same = true;
        for (int i = 0; i < have.size() && same; ++i)
            same = have.at(i).compare(wanted.at(i), Qt::CaseInsensitive) == 0;
        if (same)
            return &def;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// IndexedDataSet

IndexedDataSet::IndexedDataSet(QObject* parent) : DataSet(parent)
{
}

IndexedDataSet::~IndexedDataSet() = default;

void IndexedDataSet::setCurrentIndex(const QStringList& fields, IndexDef::Options options)
{
    m_currentIndexFields = fields;
    m_currentIndexOptions = options;
}

void IndexedDataSet::fieldsChanged()
{
    for (KeyBuffer& k : m_keys) {
        k.values = QList<Variant>(bufferSize());
        k.assigned = QList<bool>(bufferSize(), false);
    }
    m_rangeActive = false;
    if (isActive())
        internalSetIndex(m_indexName, splitFieldList(m_indexFieldNames));
    else
        setCurrentIndex({}, {});
}

void IndexedDataSet::switchOrder(const QString& indexName, const QString& fieldNames)
{
    if (!isActive()) {
        m_indexName = indexName;
        m_indexFieldNames = fieldNames;
        return;
    }
    checkBrowseMode();
    if (!indexName.isEmpty()) {
        updateIndexDefs();
        if (!indexDefs().find(indexName))
            throw EDBEditError(messagePrefix() + tr("Index '%1' not found").arg(indexName));
    }
    QStringList fields = splitFieldList(fieldNames);
    for (const QString& f : fields)
        fieldByName(f);
    internalSetIndex(indexName, fields);
    m_indexName = indexName;
    m_indexFieldNames = fieldNames;
    m_rangeActive = false;
    resync(false);
}

void IndexedDataSet::setIndexName(const QString& name)
{
    if (isActive() && name.compare(m_indexName, Qt::CaseInsensitive) == 0 &&
        m_indexFieldNames.isEmpty())
        return;
    switchOrder(name, QString());
}

void IndexedDataSet::setIndexFieldNames(const QString& fields)
{
    if (isActive() && fields.compare(m_indexFieldNames, Qt::CaseInsensitive) == 0 &&
        m_indexName.isEmpty())
        return;
    switchOrder(QString(), fields);
}

int IndexedDataSet::slotOfIndexField(int i) const
{
    return fieldByName(m_currentIndexFields.at(i))->m_slot;
}

bool IndexedDataSet::candidateKeyEquals(const VariantList& key) const
{
    const bool ci = m_currentIndexOptions.testFlag(IndexDef::CaseInsensitive);
    for (int i = 0; i < key.size(); ++i) {
        const Field* f = fieldByName(m_currentIndexFields.at(i));
        const Variant& v = m_filterBuffer.at(f->m_slot);
        const Variant k = convertFieldValue(f->dataType(), 0, key.at(i));
        int c;
        if (isTextType(f->dataType()) && ci && !v.isEmpty() && !k.isEmpty())
            c = collation::compareFolded(v.toString(), k.toString());
        else
            c = compareFieldValues(f->dataType(), v, k);
        if (c != 0)
            return false;
    }
    return true;
}

void IndexedDataSet::checkKey(const VariantList& values) const
{
    if (m_currentIndexFields.isEmpty())
        throw EDBEditError(messagePrefix() + tr("No index currently active"));
    if (values.size() > m_currentIndexFields.size())
        throw EDBEditError(
            messagePrefix() +
            tr("Too many key values: the index has %1 fields").arg(m_currentIndexFields.size()));
}

bool IndexedDataSet::seek(const VariantList& values, SeekMode mode)
{
    checkKey(values);
    beginScroll();
    const Position saved = savePosition();
    bool found = false;
    try {
        found = internalSeek(values, mode);
        if (found && hasFilter() && !recordAccepted()) {
            found = false;
            if (mode == SeekMode::Exact) {
                // Further records of the same key may pass the filter.
                while (internalNext()) {
                    readCandidate();
                    if (!candidateKeyEquals(values))
                        break;
                    if (candidateAccepted()) {
                        found = true;
                        break;
                    }
                }
            } else {
                found = seekVisible(true, false) || seekVisible(false, false);
            }
        }
    } catch (...) {
        restorePosition(saved);
        throw;
    }
    if (!found) {
        restorePosition(saved);
        return false;
    }
    m_hasCurrent = true;
    m_bof = m_eof = false;
    endScroll();
    return true;
}

bool IndexedDataSet::findKey(const VariantList& values)
{
    return seek(values, SeekMode::Exact);
}

void IndexedDataSet::findNearest(const VariantList& values)
{
    seek(values, SeekMode::Nearest);
}

void IndexedDataSet::enterKeyState(KeyKind kind, bool clear)
{
    checkActive();
    checkBrowseMode();
    KeyBuffer& k = m_keys[int(kind)];
    if (clear) {
        for (Variant& v : k.values)
            v = Variant::null();
        k.assigned.fill(false);
    }
    m_keyKind = kind;
    setState(State::SetKey);
}

void IndexedDataSet::setKey()
{
    enterKeyState(KeyKind::Search, true);
}
void IndexedDataSet::editKey()
{
    enterKeyState(KeyKind::Search, false);
}
void IndexedDataSet::setRangeStart()
{
    enterKeyState(KeyKind::RangeStart, true);
}
void IndexedDataSet::setRangeEnd()
{
    enterKeyState(KeyKind::RangeEnd, true);
}
void IndexedDataSet::editRangeStart()
{
    enterKeyState(KeyKind::RangeStart, false);
}
void IndexedDataSet::editRangeEnd()
{
    enterKeyState(KeyKind::RangeEnd, false);
}

QList<Variant>* IndexedDataSet::stateBuffer(State state)
{
    if (state == State::SetKey)
        return &m_keys[int(m_keyKind)].values;
    return DataSet::stateBuffer(state);
}

void IndexedDataSet::keyValueAssigned(int slot)
{
    m_keys[int(m_keyKind)].assigned[slot] = true;
}

VariantList IndexedDataSet::keyFromBuffer(const KeyBuffer& buffer) const
{
    int count = 0;
    for (int i = 0; i < m_currentIndexFields.size(); ++i) {
        if (buffer.assigned.value(slotOfIndexField(i)))
            count = i + 1;
    }
    VariantList key;
    for (int i = 0; i < count; ++i)
        key.append(buffer.values.at(slotOfIndexField(i)));
    return key;
}

void IndexedDataSet::leaveKeyState()
{
    if (state() != State::SetKey)
        throw EDBEditError(messagePrefix() + tr("Dataset not in edit or insert mode"));
    setState(State::Browse);
}

bool IndexedDataSet::gotoKey()
{
    leaveKeyState();
    return findKey(keyFromBuffer(m_keys[int(KeyKind::Search)]));
}

void IndexedDataSet::gotoNearest()
{
    leaveKeyState();
    findNearest(keyFromBuffer(m_keys[int(KeyKind::Search)]));
}

void IndexedDataSet::fillKeyBuffer(KeyKind kind, const VariantList& values)
{
    checkKey(values);
    KeyBuffer& k = m_keys[int(kind)];
    for (Variant& v : k.values)
        v = Variant::null();
    k.assigned.fill(false);
    for (int i = 0; i < values.size(); ++i) {
        const Field* f = fieldByName(m_currentIndexFields.at(i));
        k.values[f->m_slot] = f->convert(values.at(i));
        k.assigned[f->m_slot] = true;
    }
}

void IndexedDataSet::setRange(const VariantList& startValues, const VariantList& endValues)
{
    checkActive();
    checkBrowseMode();
    fillKeyBuffer(KeyKind::RangeStart, startValues);
    fillKeyBuffer(KeyKind::RangeEnd, endValues);
    applyRange();
}

void IndexedDataSet::applyRange()
{
    checkActive();
    if (state() == State::SetKey)
        setState(State::Browse);
    checkBrowseMode();
    if (m_currentIndexFields.isEmpty())
        throw EDBEditError(messagePrefix() + tr("No index currently active"));
    const VariantList start = keyFromBuffer(m_keys[int(KeyKind::RangeStart)]);
    const VariantList end = keyFromBuffer(m_keys[int(KeyKind::RangeEnd)]);
    internalSetRange(start, end);
    m_rangeActive = true;
    first();
    notifyDataSetChanged();
}

void IndexedDataSet::cancelRange()
{
    checkActive();
    checkBrowseMode();
    if (!m_rangeActive)
        return;
    internalSetRange(std::nullopt, std::nullopt);
    m_rangeActive = false;
    resync(false);
}

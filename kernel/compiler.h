// The request compiler: turns a request's description into the SQL text of the kernel's server
// kind (TDBRequest::Compile runs it). One compiler object serves one compilation and holds its
// working state; an embedded request is compiled by a compiler of its own that shares the outer
// one's parameter registry and counter, so that every name of the compiled text is unique.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <limits>

class Params;
class TDBAccess;
class TDBRequest;
class TFromItem;
class TSelectItem;
class TWhereItem;

class TRequestCompiler
{
public:
    TRequestCompiler(TDBRequest& request, QStringList& registry, qint32& counter);
    TRequestCompiler(const TRequestCompiler&) = delete;
    TRequestCompiler& operator=(const TRequestCompiler&) = delete;

    // Fills the request's CompiledSQL. Raises EDBKernelError on a faulty description; the
    // request's CompiledSQL is then empty. Either way the conditions the OR split set aside are
    // enabled again.
    void Run();

private:
    // The steps of a compilation, in order.
    void expandStar();
    void requireAccess();
    void requireSections();
    void originOfSingleTable();
    void resetParams();
    void resolveAliases();
    void buildTableList();
    void requireRoots();
    void buildTrees();
    QStringList compileRoot(TFromItem* root);
    QString finish(const QStringList& text);

    // Pieces of a root's statements.
    void markUsage();
    bool buildTree(TFromItem* item, int level);
    bool mentionedByExpression(const TFromItem* item);
    void collectAlternatives(TFromItem* item);
    QStringList alternativeBranches();
    bool hasUnionBelow(const TFromItem* item) const;
    void splitOrGroups();
    void restoreSplitItems();
    void unionVariants(int group, QStringList& lines);

    void buildFrom(TFromItem* root);
    void joinsFrom(TFromItem* master);
    void explicitJoin(TFromItem* master, TFromItem* item);
    void linkJoin(TFromItem* master, TFromItem* item);
    void buildSelect();
    void buildWhere();
    void buildGroup();
    void buildOrder();
    QStringList statement() const;

    // Helpers.
    bool excluded(const TFromItem* item) const;
    bool usable(const TFromItem* item) const;
    bool applies(const TWhereItem* item) const;
    QString tableText(const TFromItem* item) const;
    QString rowLimitPrefix() const;
    void lineBreak(QString& list, int& counter) const;
    // Before the next column of the select list: a comma after the one before, and a new line
    // after every fifth.
    void nextColumn(QString& list, int& counter) const;
    // Finds the table the select item's origin names (its own table when the request reads one).
    void resolveOrigin(TSelectItem* item) const;
    QString unionColumnNames(const QString& orderField) const;
    // The item's text with its parameters put into the request's parameters (renamed when the
    // name is taken and `rename` is set) and its embedded requests spliced in.
    QString applyParams(const QString& text, const Params& params, bool rename);
    QString embeddedText(const QString& paramName, const Params& params, int index);
    [[noreturn]] void error(const QString& format) const;

    TDBRequest& m_request;
    TDBAccess* m_access = nullptr;
    int m_kind = 0;
    QStringList& m_registry;
    qint32& m_counter;
    // The registry's size after the first statement of an OR split: names registered before it
    // are shared by the later statements.
    qint32 m_firstCount = std::numeric_limits<qint32>::max();

    QStringList m_aliases;
    QStringList m_tables;
    QStringList m_tableAliases;
    QList<TFromItem*> m_roots;
    QList<QList<TFromItem*>> m_levels; // alternative branches per tree level (index = level)
    QList<QList<TWhereItem*>> m_splitGroups;
    QList<TWhereItem*> m_splitDisabled;
    bool m_splitActive = false;
    bool m_union = false;      // the text is a union of several statements
    QStringList m_expressions; // upper-cased, macro-expanded expression select items
    bool m_expressionsReady = false;
    QList<const TDBRequest*> m_expanding; // requests whose SQL is being spliced in

    QString m_select;
    QString m_from;
    QString m_whereJoins;
    QString m_where;
    QString m_group;
    QString m_having;
    QString m_order;
    bool m_firstTable = true;
    int m_joinCounter = 0;
};

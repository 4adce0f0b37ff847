#include "dataaccess/db_update_sql.h"

#include "dataaccess/db_sql.h"

TDbUpdateSQL::TDbUpdateSQL(TCustomDbDataSet* dataSet)
    : ModifySQL(queries_[ukModify].SQL), InsertSQL(queries_[ukInsert].SQL), DeleteSQL(queries_[ukDelete].SQL)
{
    if (dataSet)
        dataSet->SetUpdateObject(this);
}

TDbUpdateSQL::~TDbUpdateSQL()
{
    if (dataSet_ && dataSet_->UpdateObject() == this)
        dataSet_->SetUpdateObject(nullptr);
}

void TDbUpdateSQL::SetDataSet(TCustomDbDataSet* ds) { dataSet_ = ds; }

void TDbUpdateSQL::ExecSQL(TUpdateKind kind)
{
    static const char* const kindNames[] = {"modify", "insert", "delete"};
    std::string prefix = Name.empty() ? std::string() : Name + ": ";
    if (!dataSet_)
        throw EDatabaseError(prefix + "No dataset to take the row from");
    TDbQuery& q = queries_[kind];
    if (db::onlyTrivia(q.SQL.Text()))
        throw EDatabaseError(prefix + "No " + kindNames[kind] + " statement");
    q.SetConnection(dataSet_->Connection());
    TDbParams& params = q.Params();
    for (int i = 0; i < params.Count(); ++i) {
        TDbParam& p = params[i];
        const std::string& name = p.Name();
        const TDbField* f = nullptr;
        bool old = false;
        if (name.size() > 4 && db::iequals(std::string_view(name).substr(0, 4), "OLD_")) {
            f = dataSet_->FindField(std::string_view(name).substr(4));
            old = f != nullptr;
        }
        if (!f)
            f = dataSet_->FindField(name);
        if (!f)
            throw EDatabaseError(prefix + "Parameter '" + name + "' names no field of the dataset");
        p.Value(old ? f->OldValue() : f->NewValue());
        p.type_ = f->DataType();
    }
    q.ExecSQL();
    rowsAffected_ = q.RowsAffected();
    if (rowsAffected_ == 0)
        throw EDatabaseError(prefix + "Update failed: the " + kindNames[kind] + " statement changed no row", 0, 0,
                             q.SQL.Text());
}

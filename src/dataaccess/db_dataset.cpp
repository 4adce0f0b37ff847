#include "dataaccess/db_dataset.h"

#include <sqlite3.h>

#include <algorithm>

#include "dataaccess/db_datasource.h"
#include "dataaccess/db_sql.h"
#include "dataaccess/db_update_sql.h"

namespace {

const DbVariant kNull;

TFieldType typeOfKind(DbVariant::Kind k)
{
    switch (k) {
    case DbVariant::Integer: return ftInteger;
    case DbVariant::Float: return ftFloat;
    case DbVariant::Boolean: return ftBoolean;
    case DbVariant::Text: return ftString;
    case DbVariant::Date: return ftDateTime;
    default: return ftUnknown;
    }
}

std::string dateOnlyText(DateTime t) { return db::dateTimeText(t).substr(0, 10); }

} // namespace

// ---------------------------------------------------------------------------------------
// TDbParam / TDbParams

void TDbParam::Value(const DbVariant& v)
{
    value_ = v;
    if (!v.isNull())
        type_ = typeOfKind(v.kind());
    bound_ = true;
}

void TDbParam::Clear()
{
    value_ = DbVariant();
    bound_ = true;
}

void TDbParam::AsInteger(int64_t v)
{
    value_ = v;
    type_ = ftInteger;
    bound_ = true;
}

void TDbParam::AsString(const std::string& v)
{
    value_ = v;
    type_ = ftString;
    bound_ = true;
}

void TDbParam::AsBoolean(bool v)
{
    value_ = v;
    type_ = ftBoolean;
    bound_ = true;
}

void TDbParam::AsFloat(double v)
{
    value_ = v;
    type_ = ftFloat;
    bound_ = true;
}

void TDbParam::AsDateTime(DateTime v)
{
    value_ = v;
    type_ = ftDateTime;
    bound_ = true;
}

void TDbParam::AsDate(DateTime v)
{
    value_ = db::dateOf(v);
    type_ = ftDate;
    bound_ = true;
}

void TDbParam::AsTime(DateTime v)
{
    value_ = db::makeTime(0, 0) + db::timeOf(v);
    type_ = ftTime;
    bound_ = true;
}

void TDbParam::Assign(const TDbParam& other)
{
    value_ = other.value_;
    type_ = other.type_;
    bound_ = other.bound_;
}

TDbParam* TDbParams::FindParam(std::string_view name)
{
    for (auto& p : items_)
        if (db::iequals(p->Name(), name))
            return p.get();
    return nullptr;
}

TDbParam& TDbParams::ParamByName(std::string_view name)
{
    if (TDbParam* p = FindParam(name))
        return *p;
    throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
}

void TDbParams::AssignValues(const TDbParams& other)
{
    for (auto& p : items_)
        for (auto& o : other.items_)
            if (o->Bound() && db::iequals(p->Name(), o->Name()))
                p->Assign(*o);
}

// ---------------------------------------------------------------------------------------
// TDbField / TDbFields

TDbField::TDbField(TMemoryDataSet& ds, int index, std::string name, TFieldType type)
    : DisplayLabel(name), ds_(&ds), index_(index), name_(std::move(name)), type_(type)
{
}

const DbVariant& TDbField::Value() const { return ds_->fieldValue(index_); }

void TDbField::Value(const DbVariant& v) { ds_->setFieldValue(index_, Coerce(v)); }

const DbVariant& TDbField::OldValue() const { return ds_->fieldOldValue(index_); }

std::string TDbField::AsString() const
{
    const DbVariant& v = Value();
    if (v.kind() == DbVariant::Date)
        return db::storageText(std::get<DateTime>(v.raw()), type_);
    return v.toString();
}

std::string TDbField::DisplayText() const { return DisplayTextOf(Value()); }

std::string TDbField::DisplayTextOf(const DbVariant& v) const
{
    switch (v.kind()) {
    case DbVariant::Null: return {};
    case DbVariant::Boolean: {
        size_t semi = DisplayFormat.find(';');
        if (semi != std::string::npos)
            return std::get<bool>(v.raw()) ? DisplayFormat.substr(0, semi) : DisplayFormat.substr(semi + 1);
        return v.toString();
    }
    case DbVariant::Date: {
        DateTime t = std::get<DateTime>(v.raw());
        if (!DisplayFormat.empty())
            return db::formatDateTime(DisplayFormat, t);
        if (type_ == ftDate)
            return dateOnlyText(t);
        if (type_ == ftTime || db::isTimeOnly(t))
            return db::timeText(t);
        return db::dateTimeText(t);
    }
    case DbVariant::Integer:
    case DbVariant::Float:
        if (!DisplayFormat.empty())
            return db::formatFloat(DisplayFormat, v.toDouble());
        return v.toString();
    case DbVariant::Text: return std::get<std::string>(v.raw());
    }
    return {};
}

DbVariant TDbField::Coerce(const DbVariant& v) const
{
    if (v.isNull())
        return v;
    switch (type_) {
    case ftInteger:
        if (v.kind() == DbVariant::Integer)
            return v;
        return DbVariant(v.toInt());
    case ftFloat: return DbVariant(v.toDouble());
    case ftBoolean: return DbVariant(v.toBool());
    case ftDate: return DbVariant(db::dateOf(v.toDateTime()));
    case ftTime: return DbVariant(db::makeTime(0, 0) + db::timeOf(v.toDateTime()));
    case ftDateTime: return DbVariant(v.toDateTime());
    case ftString:
        if (v.kind() == DbVariant::Text)
            return v;
        return DbVariant(v.toString());
    default: return v;
    }
}

TDbField* TDbFields::FindField(std::string_view name) const
{
    for (auto& f : items_)
        if (db::iequals(f->FieldName(), name))
            return f.get();
    for (auto& f : items_)
        if (!f->QualifiedName().empty() && db::iequals(f->QualifiedName(), name))
            return f.get();
    size_t dot = name.find('.');
    if (dot != std::string_view::npos)
        for (auto& f : items_)
            if (db::iequals(f->OriginTable(), name.substr(0, dot)) &&
                db::iequals(f->OriginColumn(), name.substr(dot + 1)))
                return f.get();
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// TMemoryDataSet

TMemoryDataSet::TMemoryDataSet() = default;

TMemoryDataSet::~TMemoryDataSet()
{
    auto sources = sources_;
    for (TDbDataSource* s : sources)
        s->dataSetGone();
}

std::string TMemoryDataSet::prefixed(const std::string& msg) const { return Name.empty() ? msg : Name + ": " + msg; }

void TMemoryDataSet::raise(const std::string& msg) const { throw EDatabaseError(prefixed(msg)); }

void TMemoryDataSet::checkActive() const
{
    if (!Active())
        raise("Cannot perform this operation on a closed dataset");
}

db::Record* TMemoryDataSet::currentRecord() const
{
    if (applying_.rec)
        return applying_.rec;
    if (state_ == dsInactive || cur_ < 0 || cur_ >= int(rows_.size()))
        return nullptr;
    return rows_[size_t(cur_)].get();
}

const DbVariant& TMemoryDataSet::fieldValue(int index) const
{
    const db::Record* r = currentRecord();
    if (!r || index < 0 || index >= int(r->values.size()))
        return kNull;
    return r->values[size_t(index)];
}

const DbVariant& TMemoryDataSet::fieldOldValue(int index) const
{
    size_t i = size_t(index);
    if (applying_.rec)
        return applying_.old && i < applying_.old->size() ? (*applying_.old)[i] : kNull;
    const db::Record* r = currentRecord();
    if (!r || state_ == dsInsert || r->status == usInserted)
        return kNull;
    if (r->old)
        return i < r->old->size() ? (*r->old)[i] : kNull;
    if (state_ == dsEdit && i < backup_.size())
        return backup_[i];
    return i < r->values.size() ? r->values[i] : kNull;
}

void TMemoryDataSet::setFieldValue(int index, const DbVariant& v)
{
    if (applying_.rec)
        raise("A row cannot be changed while it is being written");
    if (state_ != dsEdit && state_ != dsInsert)
        raise("Dataset not in edit or insert mode");
    TDbField& f = Fields[index];
    if (f.ReadOnly)
        raise("Field '" + f.FieldName() + "' cannot be modified");
    rows_[size_t(cur_)]->values[size_t(index)] = v;
    modified_ = true;
    notify(deRecordChange, cur_);
}

TDbField& TMemoryDataSet::FieldByName(std::string_view name) const
{
    if (TDbField* f = Fields.FindField(name))
        return *f;
    raise("Field '" + std::string(name) + "' not found");
}

void TMemoryDataSet::SetFieldDisplayFormat(const std::string& fieldName, const std::string& format)
{
    formats_[db::upper(fieldName)] = format;
    if (TDbField* f = FindField(fieldName))
        f->DisplayFormat = format;
}

void TMemoryDataSet::SetFieldDisplayLabel(const std::string& fieldName, const std::string& label)
{
    labels_[db::upper(fieldName)] = label;
    if (TDbField* f = FindField(fieldName))
        f->DisplayLabel = label;
}

const DbVariant& TMemoryDataSet::CellValue(int row, int col) const
{
    if (!Active() || row < 0 || row >= int(rows_.size()) || col < 0 || col >= Fields.Count())
        return kNull;
    return rows_[size_t(row)]->values[size_t(col)];
}

std::string TMemoryDataSet::CellText(int row, int col) const
{
    if (col < 0 || col >= Fields.Count())
        return {};
    return Fields[col].DisplayTextOf(CellValue(row, col));
}

void TMemoryDataSet::notify(TDataEvent ev, int row)
{
    if (disableCount_ > 0) {
        pendingRefresh_ = true;
        return;
    }
    auto sources = sources_;
    for (TDbDataSource* s : sources)
        s->dataEvent({ev, row});
}

void TMemoryDataSet::stateChanged(TDataSetState s)
{
    state_ = s;
    notify(deUpdateState, cur_);
}

void TMemoryDataSet::DisableControls() { ++disableCount_; }

void TMemoryDataSet::EnableControls()
{
    if (disableCount_ == 0)
        return;
    if (--disableCount_ == 0 && pendingRefresh_) {
        pendingRefresh_ = false;
        notify(deDataSetChange);
        notify(deDataSetScroll, cur_);
    }
}

// Open / Close ----------------------------------------------------------------------------

void TMemoryDataSet::Open()
{
    if (Active())
        return;
    if (BeforeOpen)
        BeforeOpen(*this);
    try {
        openCursor();
    } catch (...) {
        rows_.clear();
        Fields.items_.clear();
        throw;
    }
    for (auto& f : Fields.items_) {
        auto fi = formats_.find(db::upper(f->FieldName()));
        if (fi != formats_.end())
            f->DisplayFormat = fi->second;
        auto li = labels_.find(db::upper(f->FieldName()));
        if (li != labels_.end())
            f->DisplayLabel = li->second;
    }
    state_ = dsBrowse;
    modified_ = false;
    resetNavigation();
    notify(deActiveChanged);
    if (AfterOpen)
        AfterOpen(*this);
    if (AfterScroll)
        AfterScroll(*this);
}

void TMemoryDataSet::Close()
{
    if (!Active())
        return;
    if (BeforeClose)
        BeforeClose(*this);
    closeCursor();
    state_ = dsInactive;
    rows_.clear();
    deleted_.clear();
    backup_.clear();
    Fields.items_.clear();
    cur_ = -1;
    eof_ = bof_ = true;
    modified_ = false;
    notify(deActiveChanged);
    if (AfterClose)
        AfterClose(*this);
}

void TMemoryDataSet::resetNavigation()
{
    cur_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
}

// Navigation ------------------------------------------------------------------------------

int TMemoryDataSet::RecordCount() const { return Active() ? int(rows_.size()) : 0; }

int TMemoryDataSet::RecNo() const { return Active() && cur_ >= 0 ? cur_ + 1 : 0; }

void TMemoryDataSet::scrolled(bool fire)
{
    notify(deDataSetScroll, cur_);
    if (fire && AfterScroll)
        AfterScroll(*this);
}

void TMemoryDataSet::CheckBrowseMode()
{
    if (state_ == dsInsert && !modified_)
        Cancel();
    else if (state_ == dsEdit || state_ == dsInsert)
        Post();
}

void TMemoryDataSet::First()
{
    checkActive();
    CheckBrowseMode();
    if (BeforeScroll)
        BeforeScroll(*this);
    resetNavigation();
    scrolled(true);
}

void TMemoryDataSet::Last()
{
    checkActive();
    CheckBrowseMode();
    if (BeforeScroll)
        BeforeScroll(*this);
    cur_ = int(rows_.size()) - 1;
    eof_ = true;
    bof_ = rows_.empty();
    scrolled(true);
}

void TMemoryDataSet::Next() { MoveBy(1); }

void TMemoryDataSet::Prior() { MoveBy(-1); }

int TMemoryDataSet::MoveBy(int distance)
{
    checkActive();
    CheckBrowseMode();
    if (rows_.empty()) {
        eof_ = bof_ = true;
        return 0;
    }
    int n = int(rows_.size());
    int target = std::clamp(cur_ + distance, 0, n - 1);
    int moved = target - cur_;
    if (distance > 0)
        bof_ = false;
    if (distance < 0)
        eof_ = false;
    if (moved != 0) {
        if (BeforeScroll)
            BeforeScroll(*this);
        cur_ = target;
    }
    if (moved != distance) {
        if (distance > 0)
            eof_ = true;
        else
            bof_ = true;
    }
    if (moved != 0)
        scrolled(true);
    return moved;
}

void TMemoryDataSet::SetRecNo(int recNo)
{
    checkActive();
    CheckBrowseMode();
    if (rows_.empty())
        return;
    int target = std::clamp(recNo, 1, int(rows_.size())) - 1;
    if (target == cur_)
        return;
    if (BeforeScroll)
        BeforeScroll(*this);
    cur_ = target;
    bof_ = eof_ = false;
    scrolled(true);
}

bool TMemoryDataSet::Locate(std::string_view fieldName, const DbVariant& value)
{
    checkActive();
    TDbField& f = FieldByName(fieldName);
    DbVariant key;
    try {
        key = f.Coerce(value);
    } catch (const EDatabaseError&) {
        return false;
    }
    CheckBrowseMode();
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->values[size_t(f.Index())] == key) {
            if (int(i) != cur_) {
                if (BeforeScroll)
                    BeforeScroll(*this);
                cur_ = int(i);
            }
            bof_ = eof_ = false;
            scrolled(true);
            return true;
        }
    }
    return false;
}

// Editing ---------------------------------------------------------------------------------

void TMemoryDataSet::newRecord(int at)
{
    if (BeforeInsert)
        BeforeInsert(*this);
    auto rec = std::make_unique<db::Record>();
    rec->values.resize(size_t(Fields.Count()));
    rows_.insert(rows_.begin() + at, std::move(rec));
    cur_ = at;
    eof_ = bof_ = false;
    modified_ = false;
    backup_.clear();
    state_ = dsInsert;
    notify(deRowInserted, at);
    notify(deUpdateState, cur_);
    notify(deDataSetScroll, cur_);
    if (OnNewRecord)
        OnNewRecord(*this);
    if (AfterInsert)
        AfterInsert(*this);
}

void TMemoryDataSet::Append()
{
    checkActive();
    CheckBrowseMode();
    newRecord(int(rows_.size()));
}

void TMemoryDataSet::Insert()
{
    checkActive();
    CheckBrowseMode();
    newRecord(cur_ < 0 ? 0 : cur_);
}

void TMemoryDataSet::Edit()
{
    checkActive();
    if (state_ == dsEdit || state_ == dsInsert)
        return;
    if (rows_.empty()) {
        Append();
        return;
    }
    if (BeforeEdit)
        BeforeEdit(*this);
    backup_ = rows_[size_t(cur_)]->values;
    modified_ = false;
    stateChanged(dsEdit);
    if (AfterEdit)
        AfterEdit(*this);
}

void TMemoryDataSet::postNonCached()
{
    db::Record& rec = *rows_[size_t(cur_)];
    TUpdateKind kind = state_ == dsInsert ? ukInsert : ukModify;
    if (kind == ukModify && !modified_)
        return;
    applying_ = {&rec, kind == ukModify ? &backup_ : nullptr, kind};
    try {
        writeChange(kind, rec);
    } catch (...) {
        applying_ = {};
        throw;
    }
    applying_ = {};
    rec.status = usUnmodified;
    rec.old.reset();
    rec.applied = false;
}

void TMemoryDataSet::Post()
{
    checkActive();
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    if (BeforePost)
        BeforePost(*this);
    db::Record& rec = *rows_[size_t(cur_)];
    if (!cached_) {
        postNonCached(); // raises and keeps the edit when the database refuses it
    } else if (state_ == dsInsert) {
        rec.status = usInserted;
        rec.applied = false;
        rec.seq = ++seq_;
    } else if (modified_) {
        // Changes are applied in the order first made; an applied change is in the
        // database already, so an edit after it starts from there.
        if (rec.status == usUnmodified || rec.applied) {
            rec.old = backup_;
            rec.status = usModified;
            rec.seq = ++seq_;
        }
        rec.applied = false;
    }
    backup_.clear();
    modified_ = false;
    stateChanged(dsBrowse);
    notify(deRecordChange, cur_);
    if (AfterPost)
        AfterPost(*this);
}

void TMemoryDataSet::Cancel()
{
    if (state_ != dsEdit && state_ != dsInsert)
        return;
    if (BeforeCancel)
        BeforeCancel(*this);
    if (state_ == dsInsert) {
        int at = cur_;
        rows_.erase(rows_.begin() + at);
        notify(deRowDeleted, at);
        cur_ = rows_.empty() ? -1 : std::min(at, int(rows_.size()) - 1);
        eof_ = bof_ = rows_.empty();
    } else {
        rows_[size_t(cur_)]->values = backup_;
        notify(deRecordChange, cur_);
    }
    backup_.clear();
    modified_ = false;
    stateChanged(dsBrowse);
    notify(deDataSetScroll, cur_);
    if (AfterCancel)
        AfterCancel(*this);
}

void TMemoryDataSet::Delete()
{
    checkActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (state_ == dsEdit)
        Cancel();
    if (rows_.empty())
        raise("Cannot perform this operation on an empty dataset");
    if (BeforeDelete)
        BeforeDelete(*this);
    int at = cur_;
    db::Record& rec = *rows_[size_t(at)];
    if (!cached_) {
        applying_ = {&rec, &rec.values, ukDelete};
        try {
            writeChange(ukDelete, rec);
        } catch (...) {
            applying_ = {};
            throw;
        }
        applying_ = {};
        rows_.erase(rows_.begin() + at);
    } else if (rec.status == usInserted && !rec.applied) {
        rows_.erase(rows_.begin() + at);
    } else {
        std::unique_ptr<db::Record> gone = std::move(rows_[size_t(at)]);
        rows_.erase(rows_.begin() + at);
        if (!gone->old || gone->status == usInserted)
            gone->old = gone->values;
        gone->status = usDeleted;
        gone->applied = false;
        gone->deletedAt = at;
        gone->seq = ++seq_;
        deleted_.push_back(std::move(gone));
    }
    notify(deRowDeleted, at);
    if (rows_.empty()) {
        cur_ = -1;
        eof_ = bof_ = true;
    } else {
        eof_ = at >= int(rows_.size()); // the last row went: the loop "while not Eof" ends
        bof_ = false;
        cur_ = std::min(at, int(rows_.size()) - 1);
    }
    notify(deDataSetScroll, cur_);
    if (AfterDelete)
        AfterDelete(*this);
}

// Cached updates --------------------------------------------------------------------------

void TMemoryDataSet::SetCachedUpdates(bool on)
{
    if (on == cached_)
        return;
    if (!on && Active())
        CancelUpdates();
    cached_ = on;
}

bool TMemoryDataSet::UpdatesPending() const
{
    if (!deleted_.empty())
        return true;
    for (auto& r : rows_)
        if (r->status != usUnmodified)
            return true;
    return false;
}

TUpdateStatus TMemoryDataSet::UpdateStatus() const
{
    const db::Record* r = currentRecord();
    return r ? r->status : usUnmodified;
}

bool TMemoryDataSet::applyOne(db::Record& rec, TUpdateKind kind)
{
    for (int attempt = 0;; ++attempt) {
        applying_ = {&rec, rec.old ? &*rec.old : nullptr, kind};
        try {
            TUpdateAction action = uaFail;
            if (OnUpdateRecord) {
                OnUpdateRecord(*this, kind, action);
                if (action == uaAbort)
                    throw EDatabaseError(prefixed("Operation aborted"), 0, 0, {}, true);
                if (action == uaFail)
                    raise("Update failed");
                if (action == uaRetry && attempt < 100)
                    continue;
            } else {
                writeChange(kind, rec);
                action = uaApplied;
            }
            applying_ = {};
            return action == uaApplied;
        } catch (EDatabaseError& e) {
            TUpdateAction action = uaFail;
            if (OnUpdateError && !e.Aborted())
                OnUpdateError(*this, e, kind, action);
            applying_ = {};
            switch (action) {
            case uaSkip: return false;
            case uaApplied: return true;
            case uaRetry:
                if (attempt < 100)
                    continue;
                throw;
            case uaAbort: throw EDatabaseError(e.Message(), e.ErrorCode(), e.ExtendedErrorCode(), e.Sql(), true);
            case uaFail: throw;
            }
            throw;
        } catch (...) {
            applying_ = {};
            throw;
        }
    }
}

void TMemoryDataSet::ApplyUpdates()
{
    CheckBrowseMode();
    if (!cached_)
        raise("Not in cached update mode");
    if (!Active())
        return;
    std::vector<db::Record*> todo;
    for (auto& r : rows_)
        if (r->status != usUnmodified && !r->applied)
            todo.push_back(r.get());
    for (auto& r : deleted_)
        if (!r->applied)
            todo.push_back(r.get());
    if (todo.empty())
        return;
    std::sort(todo.begin(), todo.end(), [](auto* a, auto* b) { return a->seq < b->seq; });
    std::vector<db::Record*> done;
    beginApply();
    try {
        for (db::Record* r : todo) {
            TUpdateKind kind = r->status == usInserted ? ukInsert : r->status == usDeleted ? ukDelete : ukModify;
            if (applyOne(*r, kind)) {
                r->applied = true;
                done.push_back(r);
            }
        }
        endApply(true);
    } catch (...) {
        for (db::Record* r : done)
            r->applied = false;
        try {
            endApply(false);
        } catch (...) {
        }
        throw;
    }
}

void TMemoryDataSet::CommitUpdates()
{
    if (!cached_ || !Active())
        return;
    CheckBrowseMode();
    bool unapplied = false;
    for (auto& r : rows_)
        unapplied |= r->status != usUnmodified && !r->applied;
    for (auto& r : deleted_)
        unapplied |= !r->applied;
    if (unapplied)
        ApplyUpdates();
    for (auto& r : rows_) {
        if (r->applied) {
            r->status = usUnmodified;
            r->old.reset();
            r->applied = false;
        }
    }
    deleted_.erase(std::remove_if(deleted_.begin(), deleted_.end(), [](auto& r) { return r->applied; }),
                   deleted_.end());
    notify(deDataSetChange);
    notify(deDataSetScroll, cur_);
}

void TMemoryDataSet::CancelUpdates()
{
    if (!Active())
        return;
    Cancel();
    for (size_t i = rows_.size(); i-- > 0;) {
        db::Record& r = *rows_[i];
        if (r.status == usInserted) {
            rows_.erase(rows_.begin() + long(i));
        } else if (r.status == usModified) {
            r.values = *r.old;
            r.old.reset();
            r.status = usUnmodified;
            r.applied = false;
        }
    }
    std::sort(deleted_.begin(), deleted_.end(), [](auto& a, auto& b) { return a->seq > b->seq; });
    for (auto& r : deleted_) {
        r->values = *r->old;
        r->old.reset();
        r->status = usUnmodified;
        r->applied = false;
        int at = std::clamp(r->deletedAt, 0, int(rows_.size()));
        r->deletedAt = -1;
        rows_.insert(rows_.begin() + at, std::move(r));
    }
    deleted_.clear();
    if (rows_.empty())
        resetNavigation();
    else
        cur_ = std::clamp(cur_, 0, int(rows_.size()) - 1);
    eof_ = rows_.empty();
    notify(deDataSetChange);
    scrolled(true);
}

void TMemoryDataSet::RestoreUpdates()
{
    for (auto& r : rows_)
        r->applied = false;
    for (auto& r : deleted_)
        r->applied = false;
}

// ---------------------------------------------------------------------------------------
// TCustomDbDataSet

namespace {

void bindValue(TDbConnection& c, sqlite3_stmt* st, int idx, const DbVariant& v, TFieldType type)
{
    int rc = SQLITE_OK;
    switch (v.kind()) {
    case DbVariant::Null: rc = sqlite3_bind_null(st, idx); break;
    case DbVariant::Integer: rc = sqlite3_bind_int64(st, idx, std::get<int64_t>(v.raw())); break;
    case DbVariant::Float: rc = sqlite3_bind_double(st, idx, std::get<double>(v.raw())); break;
    case DbVariant::Boolean: rc = sqlite3_bind_int(st, idx, std::get<bool>(v.raw()) ? 1 : 0); break;
    case DbVariant::Text: {
        const std::string& s = std::get<std::string>(v.raw());
        rc = sqlite3_bind_text(st, idx, s.data(), int(s.size()), SQLITE_TRANSIENT);
        break;
    }
    case DbVariant::Date: {
        std::string s = db::storageText(std::get<DateTime>(v.raw()), type);
        rc = sqlite3_bind_text(st, idx, s.data(), int(s.size()), SQLITE_TRANSIENT);
        break;
    }
    }
    if (rc != SQLITE_OK)
        c.RaiseError(rc);
}

TFieldType typeFromDecl(const char* decl)
{
    if (!decl)
        return ftUnknown;
    std::string d = db::upper(decl);
    auto has = [&](const char* s) { return d.find(s) != std::string::npos; };
    if (has("BOOL") || has("BIT") || has("YESNO"))
        return ftBoolean;
    if (has("DATETIME") || has("TIMESTAMP"))
        return ftDateTime;
    if (has("DATE"))
        return ftDate;
    if (has("TIME"))
        return ftTime;
    if (has("INT"))
        return ftInteger;
    if (has("REAL") || has("FLOA") || has("DOUB") || has("NUMERIC") || has("DECIMAL") || has("CURRENCY"))
        return ftFloat;
    if (has("BLOB"))
        return ftBlob;
    return ftString;
}

TFieldType typeFromValue(int sqliteType)
{
    switch (sqliteType) {
    case SQLITE_INTEGER: return ftInteger;
    case SQLITE_FLOAT: return ftFloat;
    case SQLITE_BLOB: return ftBlob;
    case SQLITE_TEXT: return ftString;
    default: return ftUnknown;
    }
}

DbVariant readColumn(sqlite3_stmt* st, int c, TFieldType type)
{
    int t = sqlite3_column_type(st, c);
    if (t == SQLITE_NULL)
        return {};
    std::string text;
    if (t == SQLITE_TEXT || t == SQLITE_BLOB) {
        const void* p = t == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(st, c)) : sqlite3_column_blob(st, c);
        int n = sqlite3_column_bytes(st, c);
        if (p && n > 0)
            text.assign(static_cast<const char*>(p), size_t(n));
    }
    switch (type) {
    case ftBoolean:
        if (t == SQLITE_INTEGER)
            return DbVariant(sqlite3_column_int64(st, c) != 0);
        if (t == SQLITE_FLOAT)
            return DbVariant(sqlite3_column_double(st, c) != 0);
        try {
            return DbVariant(DbVariant(text).toBool());
        } catch (const EDatabaseError&) {
            return DbVariant(text);
        }
    case ftDate:
    case ftTime:
    case ftDateTime:
        if (t == SQLITE_TEXT) {
            if (auto d = db::parseDateTime(text))
                return DbVariant(*d);
            return DbVariant(text);
        }
        break;
    case ftFloat:
        if (t == SQLITE_INTEGER || t == SQLITE_FLOAT)
            return DbVariant(sqlite3_column_double(st, c));
        break;
    default: break;
    }
    if (t == SQLITE_INTEGER)
        return DbVariant(int64_t(sqlite3_column_int64(st, c)));
    if (t == SQLITE_FLOAT)
        return DbVariant(sqlite3_column_double(st, c));
    return DbVariant(std::move(text));
}

} // namespace

TCustomDbDataSet::TCustomDbDataSet(TDbConnection* connection)
{
    SQL.OnChange = [this] {
        Close();
        Unprepare();
    };
    SetConnection(connection);
}

TCustomDbDataSet::~TCustomDbDataSet()
{
    SQL.OnChange = nullptr;
    Close();
    Unprepare();
    if (updateObject_ && updateObject_->DataSet() == this)
        updateObject_->SetDataSet(nullptr);
    if (conn_)
        conn_->detach(this);
}

void TCustomDbDataSet::SetConnection(TDbConnection* c)
{
    if (c == conn_)
        return;
    Close();
    Unprepare();
    if (conn_)
        conn_->detach(this);
    conn_ = c;
    if (conn_)
        conn_->attach(this);
}

void TCustomDbDataSet::connectionGone()
{
    Close();
    Unprepare();
    conn_ = nullptr;
}

void TCustomDbDataSet::SetUpdateObject(TDbUpdateSQL* u)
{
    if (updateObject_ && updateObject_ != u && updateObject_->DataSet() == this)
        updateObject_->SetDataSet(nullptr);
    updateObject_ = u;
    if (u)
        u->SetDataSet(this);
}

std::string TCustomDbDataSet::statementText() { return SQL.Text(); }

std::string TCustomDbDataSet::updateTable() const
{
    std::string table;
    for (int i = 0; i < Fields.Count(); ++i) {
        const std::string& t = Fields[i].OriginTable();
        if (t.empty())
            continue;
        if (table.empty())
            table = t;
        else if (!db::iequals(table, t))
            return {};
    }
    return table;
}

void TCustomDbDataSet::parseIfChanged()
{
    if (parsedVersion_ == SQL.Version() && parsedTextVersion_ == textVersion_)
        return;
    std::string text = statementText();
    db::ParsedSql p = db::parseSql(text);
    Unprepare();
    TDbParams fresh;
    for (const std::string& n : p.names)
        fresh.items_.push_back(std::make_unique<TDbParam>(n));
    fresh.AssignValues(params_);
    params_.items_ = std::move(fresh.items_);
    sqliteText_ = std::move(p.text);
    selectNames_ = db::selectListNames(text);
    parsedVersion_ = SQL.Version();
    parsedTextVersion_ = textVersion_;
}

TDbParams& TCustomDbDataSet::Params()
{
    parseIfChanged();
    return params_;
}

int TCustomDbDataSet::ParamCount() { return Params().Count(); }

TDbParam& TCustomDbDataSet::ParamByName(std::string_view name)
{
    if (TDbParam* p = Params().FindParam(name))
        return *p;
    raise("Parameter '" + std::string(name) + "' not found");
}

void TCustomDbDataSet::Prepare()
{
    parseIfChanged();
    if (stmt_)
        return;
    if (!conn_)
        raise("No database connection");
    if (!conn_->Connected())
        conn_->Open();
    if (db::onlyTrivia(sqliteText_))
        raise("No SQL statement available");
    const char* tail = nullptr;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(conn_->Handle(), sqliteText_.c_str(), int(sqliteText_.size()), &st, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        conn_->RaiseError(rc, SQL.Text());
    }
    if (tail && !db::onlyTrivia(tail)) {
        sqlite3_finalize(st);
        raise("The SQL text holds more than one statement");
    }
    stmt_ = st;
}

void TCustomDbDataSet::Unprepare()
{
    if (stmt_) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

void TCustomDbDataSet::bindParams()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    for (int i = 0; i < params_.Count(); ++i) {
        TDbParam& p = params_[i];
        if (!p.Bound())
            raise("No value for parameter '" + p.Name() + "'");
        bindValue(*conn_, stmt_, i + 1, p.value_, p.type_);
    }
}

void TCustomDbDataSet::ExecSQL()
{
    Prepare();
    bindParams();
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        std::string msg = sqlite3_errmsg(conn_->Handle());
        int ext = sqlite3_extended_errcode(conn_->Handle());
        sqlite3_reset(stmt_);
        throw EDatabaseError(msg, rc & 0xff, ext, SQL.Text());
    }
    rowsAffected_ = sqlite3_changes(conn_->Handle());
    sqlite3_reset(stmt_);
}

void TCustomDbDataSet::openCursor()
{
    Prepare();
    bindParams();
    int ncol = sqlite3_column_count(stmt_);
    if (ncol == 0)
        raise("The statement returns no rows; run it with ExecSQL");
    int first = selectsRowid() ? 1 : 0;
    Fields.items_.clear();
    rows_.clear();
    bool matchNames = int(selectNames_.size()) == ncol - first;
    for (int c = first; c < ncol; ++c) {
        std::string name = sqlite3_column_name(stmt_, c);
        std::string base = name;
        // Duplicate names of a join stay reachable: the later ones as Name_1, Name_2 ...
        auto taken = [&](const std::string& n) {
            for (auto& f : Fields.items_)
                if (db::iequals(f->FieldName(), n))
                    return true;
            return false;
        };
        for (int k = 1; taken(name); ++k)
            name = base + "_" + std::to_string(k);
        auto f = std::make_unique<TDbField>(*this, c - first, name, typeFromDecl(sqlite3_column_decltype(stmt_, c)));
        if (const char* t = sqlite3_column_table_name(stmt_, c))
            f->originTable_ = t;
        if (const char* o = sqlite3_column_origin_name(stmt_, c))
            f->originColumn_ = o;
        if (matchNames)
            f->qualified_ = selectNames_[size_t(c - first)];
        Fields.items_.push_back(std::move(f));
    }
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
        auto rec = std::make_unique<db::Record>();
        rec->values.reserve(size_t(ncol - first));
        if (first)
            rec->rowid = sqlite3_column_int64(stmt_, 0);
        for (int c = first; c < ncol; ++c) {
            TDbField& f = *Fields.items_[size_t(c - first)];
            if (f.type_ == ftUnknown) {
                f.type_ = typeFromValue(sqlite3_column_type(stmt_, c));
            }
            rec->values.push_back(readColumn(stmt_, c, f.type_));
        }
        rows_.push_back(std::move(rec));
    }
    if (rc != SQLITE_DONE) {
        std::string msg = sqlite3_errmsg(conn_->Handle());
        int ext = sqlite3_extended_errcode(conn_->Handle());
        sqlite3_reset(stmt_);
        throw EDatabaseError(msg, rc & 0xff, ext, SQL.Text());
    }
    sqlite3_reset(stmt_);
    for (auto& f : Fields.items_)
        if (f->type_ == ftUnknown)
            f->type_ = ftString;
}

void TCustomDbDataSet::closeCursor()
{
    if (stmt_)
        sqlite3_reset(stmt_);
}

void TCustomDbDataSet::writeChange(TUpdateKind kind, db::Record& rec)
{
    if (updateObject_) {
        updateObject_->ExecSQL(kind);
        return;
    }
    writeGenerated(kind, rec);
}

void TCustomDbDataSet::writeGenerated(TUpdateKind kind, db::Record& rec)
{
    if (!conn_)
        raise("No database connection");
    std::string table = updateTable();
    if (table.empty())
        raise("Cannot write the change: there is no update statement and the dataset does not read one table");
    bool useRowid = selectsRowid() && (kind != ukInsert) && rec.rowid != 0;
    struct Col {
        std::string name;
        int index;
        TFieldType type;
    };
    std::vector<Col> cols;
    bool generatedFromTable = selectsRowid();
    for (int i = 0; i < Fields.Count(); ++i) {
        const TDbField& f = Fields[i];
        if (generatedFromTable)
            cols.push_back({f.FieldName(), i, f.DataType()});
        else if (!f.OriginColumn().empty() && db::iequals(f.OriginTable(), table))
            cols.push_back({f.OriginColumn(), i, f.DataType()});
    }
    const std::vector<DbVariant>& now = rec.values;
    const std::vector<DbVariant>* old = applying_.old;
    std::string sql;
    std::vector<std::pair<DbVariant, TFieldType>> binds;
    auto whereOld = [&]() {
        if (useRowid) {
            binds.push_back({DbVariant(rec.rowid), ftInteger});
            return std::string(" WHERE rowid = ?") + std::to_string(binds.size());
        }
        std::string w = " WHERE rowid IN (SELECT rowid FROM " + db::quoteIdent(table) + " WHERE ";
        for (size_t k = 0; k < cols.size(); ++k) {
            if (k)
                w += " AND ";
            binds.push_back({old ? (*old)[size_t(cols[k].index)] : now[size_t(cols[k].index)], cols[k].type});
            w += db::quoteIdent(cols[k].name) + " IS ?" + std::to_string(binds.size());
        }
        return w + " LIMIT 1)";
    };
    if (kind == ukInsert) {
        std::string names, marks;
        for (const Col& c : cols) {
            const DbVariant& v = now[size_t(c.index)];
            if (v.isNull())
                continue;
            binds.push_back({v, c.type});
            names += (names.empty() ? "" : ",") + db::quoteIdent(c.name);
            marks += (marks.empty() ? "?" : ",?") + std::to_string(binds.size());
        }
        sql = "INSERT INTO " + db::quoteIdent(table) +
              (names.empty() ? std::string(" DEFAULT VALUES") : " (" + names + ") VALUES (" + marks + ")");
    } else if (kind == ukModify) {
        std::string set;
        for (const Col& c : cols) {
            const DbVariant& v = now[size_t(c.index)];
            if (old && (*old)[size_t(c.index)] == v)
                continue;
            binds.push_back({v, c.type});
            set += (set.empty() ? "" : ", ") + db::quoteIdent(c.name) + " = ?" + std::to_string(binds.size());
        }
        if (set.empty())
            return;
        sql = "UPDATE " + db::quoteIdent(table) + " SET " + set;
        sql += whereOld();
    } else {
        sql = "DELETE FROM " + db::quoteIdent(table);
        sql += whereOld();
    }
    sqlite3* h = conn_->CheckHandle();
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(h, sql.c_str(), int(sql.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        conn_->RaiseError(rc, sql);
    }
    try {
        for (size_t k = 0; k < binds.size(); ++k)
            bindValue(*conn_, st, int(k + 1), binds[k].first, binds[k].second);
    } catch (...) {
        sqlite3_finalize(st);
        throw;
    }
    rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) {
        std::string msg = sqlite3_errmsg(h);
        int ext = sqlite3_extended_errcode(h);
        sqlite3_finalize(st);
        throw EDatabaseError(msg, rc & 0xff, ext, sql);
    }
    sqlite3_finalize(st);
    if (kind == ukInsert) {
        rec.rowid = sqlite3_last_insert_rowid(h);
    } else if (sqlite3_changes(h) == 0) {
        raise("Record not found or changed by another user");
    }
}

void TCustomDbDataSet::beginApply()
{
    if (!conn_)
        raise("No database connection");
    conn_->ExecSQL("SAVEPOINT ios_apply");
    ++applyDepth_;
}

void TCustomDbDataSet::endApply(bool ok)
{
    --applyDepth_;
    if (ok) {
        conn_->ExecSQL("RELEASE ios_apply");
        return;
    }
    if (!conn_->InTransaction())
        return; // SQLite already rolled the transaction back
    conn_->ExecSQL("ROLLBACK TO ios_apply");
    conn_->ExecSQL("RELEASE ios_apply");
}

// ---------------------------------------------------------------------------------------
// TDbTable

TDbTable::TDbTable(TDbConnection* connection, std::string tableName)
    : TCustomDbDataSet(connection), table_(std::move(tableName))
{
}

void TDbTable::SetTableName(const std::string& name)
{
    if (Active())
        raise("Cannot perform this operation on an open dataset");
    table_ = name;
    ++textVersion_;
}

bool TDbTable::selectsRowid() const { return SQL.Count() == 0; }

std::string TDbTable::statementText()
{
    if (SQL.Count() > 0)
        return SQL.Text();
    if (table_.empty())
        raise("No table name given");
    // The rowid travels as a hidden first column, so that a row is written back exactly.
    return "SELECT rowid, * FROM " + db::quoteIdent(table_);
}

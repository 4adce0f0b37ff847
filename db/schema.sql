-- The supplied database: every table the program reads and writes, its indexes and the
-- rows every database starts with. The program never creates tables; the build turns this
-- script into iOstrivaneDB.db.
--
-- Conventions: date-times are text 'YYYY-MM-DD HH:MM:SS' (dates at midnight), times of day
-- 'HH:MM:SS', Booleans 0/1, serial ids 16 upper-case hexadecimal digits, key codes text of
-- decimal digits (leading zeros kept). New rows take the largest id plus one.

-- Operators and the program's own settings ------------------------------------------------

-- Level: 1 Operator, 2 Administrator.
CREATE TABLE Admin (
    UserName TEXT NOT NULL,
    Password TEXT NOT NULL DEFAULT '',
    Level    INTEGER NOT NULL DEFAULT 1
);
CREATE UNIQUE INDEX Admin_UserName ON Admin (UserName);

-- The main window's title and a level, read at login.
CREATE TABLE TitleName (
    TitleName TEXT,
    Level     INTEGER
);

-- One row per run: written at start, LogoutTime at close.
CREATE TABLE LoginHistory (
    ID         INTEGER,
    UserName   TEXT,
    Level      INTEGER,
    LoginTime  DATETIME,
    LogoutTime DATETIME
);
CREATE INDEX LoginHistory_ID ON LoginHistory (ID);
CREATE INDEX LoginHistory_LoginTime ON LoginHistory (LoginTime);

-- Locks ----------------------------------------------------------------------------------

-- LockType: 'iButton' or 'Access Code'.
CREATE TABLE LockManagement (
    LockID       INTEGER PRIMARY KEY,
    SerialID     TEXT,
    LockName     TEXT,
    LockLocation TEXT,
    LockStatusID INTEGER,
    LockType     TEXT
);
CREATE INDEX LockManagement_SerialID ON LockManagement (SerialID);

-- Lock mode schedules; 1 and 2 are the "No Limit" schedules a new lock starts with.
CREATE TABLE LockStatus (
    LockStatusID   INTEGER PRIMARY KEY,
    LockStatusName TEXT
);

-- LockStatus: 'Storehouse Mode', 'Classroom Mode', 'Lock Mode' or 'Unlock Mode'.
CREATE TABLE LockStatusST (
    LockStatusID INTEGER,
    LockStatus   TEXT,
    BeginTime    TIME,
    Sunday       BOOLEAN DEFAULT 0,
    Monday       BOOLEAN DEFAULT 0,
    Tuesday      BOOLEAN DEFAULT 0,
    Wednesday    BOOLEAN DEFAULT 0,
    Thursday     BOOLEAN DEFAULT 0,
    Friday       BOOLEAN DEFAULT 0,
    Saturday     BOOLEAN DEFAULT 0
);
CREATE INDEX LockStatusST_LockStatusID ON LockStatusST (LockStatusID);

-- Users and their keys -------------------------------------------------------------------

-- UserType: 'iButton', 'KeyCode' or 'Complex'; Status: 'Active' or 'Inactive'.
CREATE TABLE KeyManagement (
    KeyID        INTEGER PRIMARY KEY,
    UserType     TEXT,
    SerialID     TEXT,
    KeyCode      TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Department   TEXT,
    Title        TEXT,
    Address      TEXT,
    ContactInfor TEXT,
    Status       TEXT
);
CREATE INDEX KeyManagement_SerialID ON KeyManagement (SerialID);
CREATE INDEX KeyManagement_KeyCode ON KeyManagement (KeyCode);

-- Which users a lock accepts, with the user's groups in that lock. ExpDate: the holiday
-- schedule applies.
CREATE TABLE LockKeyManagement (
    LockID        INTEGER,
    KeyID         INTEGER,
    TimeShiftID   INTEGER,
    ActExpDateID  INTEGER,
    ExpDateID     INTEGER,
    SerialID      TEXT,
    FirstName     TEXT,
    LastName      TEXT,
    Status        TEXT,
    Department    TEXT,
    Title         TEXT,
    Address       TEXT,
    ContactInfor  TEXT,
    UserType      TEXT,
    KeyCode       TEXT,
    LastSetupTime DATETIME,
    ExpDate       BOOLEAN DEFAULT 0
);
CREATE INDEX LockKeyManagement_LockID ON LockKeyManagement (LockID, KeyID);
CREATE INDEX LockKeyManagement_KeyID ON LockKeyManagement (KeyID);
CREATE INDEX LockKeyManagement_SerialID ON LockKeyManagement (SerialID);

-- Time shifts, activation/expiration periods, holidays ------------------------------------

CREATE TABLE TimeGroup (
    GroupID   INTEGER PRIMARY KEY,
    GroupName TEXT
);

-- DayOfWeek: 'Sunday' .. 'Saturday'.
CREATE TABLE TimeShift (
    GroupID   INTEGER,
    BeginTime TIME,
    EndTime   TIME,
    DayOfWeek TEXT
);
CREATE INDEX TimeShift_GroupID ON TimeShift (GroupID);

-- The fixed weekday lookup.
CREATE TABLE TempWeek (
    DayID     INTEGER PRIMARY KEY,
    DayOfWeek TEXT
);

CREATE TABLE ActExpDateST (
    GroupID        INTEGER PRIMARY KEY,
    ActivationDate DATETIME,
    ExpirationDate DATETIME
);

CREATE TABLE ExceptionDateST (
    GroupID           INTEGER PRIMARY KEY,
    ExceptionDateFrom DATETIME,
    ExceptionDateTo   DATETIME
);

-- Codes ----------------------------------------------------------------------------------

-- CodeType: 'Temp', 'Once' or 'Perm'; LostTimes: the code version plus one.
CREATE TABLE AccessCode (
    SerialID       TEXT,
    LockName       TEXT,
    GuestFirstName TEXT,
    GuestLastName  TEXT,
    CodeType       TEXT,
    StartDate      DATETIME,
    EndDate        DATETIME,
    DateCreated    DATETIME,
    CreatedBy      TEXT,
    CodeString     TEXT,
    LostTimes      INTEGER,
    HasDeleted     BOOLEAN DEFAULT 0,
    TimeGroup      TEXT
);
CREATE INDEX AccessCode_CodeString ON AccessCode (CodeString);
CREATE INDEX AccessCode_SerialID ON AccessCode (SerialID, CodeType, StartDate, EndDate);
CREATE INDEX AccessCode_DateCreated ON AccessCode (DateCreated);

CREATE TABLE OneOffCode (
    CodeNo     INTEGER PRIMARY KEY,
    OneOffCode TEXT DEFAULT ''
);

-- Audit history --------------------------------------------------------------------------

CREATE TABLE RecordInfor (
    SerialID     TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Status       TEXT,
    Department   TEXT,
    LockName     TEXT,
    LockLocation TEXT,
    OpenLockType TEXT,
    OpenLockTime DATETIME,
    CodeType     TEXT
);
-- The duplicate check of saved audit records.
CREATE INDEX RecordInfor_Event ON RecordInfor (SerialID, LockName, OpenLockType, OpenLockTime);
CREATE INDEX RecordInfor_OpenLockTime ON RecordInfor (OpenLockTime);

-- Scratch tables of the windows ----------------------------------------------------------

CREATE TABLE TempRecord (
    No           INTEGER,
    SerialID     TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Status       TEXT,
    Department   TEXT,
    LockName     TEXT,
    LockLocation TEXT,
    OpenLockType TEXT,
    OpenLockTime DATETIME,
    CodeType     TEXT
);

CREATE TABLE TempAccessCode (
    SerialID       TEXT,
    LockName       TEXT,
    GuestFirstName TEXT,
    GuestLastName  TEXT,
    CodeType       TEXT,
    StartDate      DATETIME,
    EndDate        DATETIME,
    DateCreated    DATETIME,
    CreatedBy      TEXT,
    CodeString     TEXT,
    LostTimes      INTEGER,
    HasDeleted     BOOLEAN DEFAULT 0,
    TimeGroup      TEXT,
    Selected       BOOLEAN DEFAULT 0
);

CREATE TABLE TempKey (
    KeyID        INTEGER,
    SerialID     TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Status       TEXT,
    Used         BOOLEAN DEFAULT 0,
    UserType     TEXT,
    KeyCode      TEXT,
    Department   TEXT,
    Title        TEXT,
    Address      TEXT,
    ContactInfor TEXT,
    TimeShiftID  INTEGER,
    ActExpDateID INTEGER,
    ExpDateID    INTEGER,
    ExpDate      BOOLEAN DEFAULT 0
);

CREATE TABLE TempKey1 (
    KeyID        INTEGER,
    LockID       INTEGER,
    TimeShiftID  INTEGER,
    ActExpDateID INTEGER,
    ExpDateID    INTEGER,
    UserType     TEXT,
    SerialID     TEXT,
    KeyCode      TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Department   TEXT,
    Title        TEXT,
    Address      TEXT,
    ContactInfor TEXT,
    Status       TEXT,
    Used         BOOLEAN DEFAULT 0,
    ExpDate      BOOLEAN DEFAULT 0
);
CREATE INDEX TempKey1_LockID ON TempKey1 (LockID);

CREATE TABLE TempKey2 (
    KeyID        INTEGER,
    LockID       INTEGER,
    TimeShiftID  INTEGER,
    ActExpDateID INTEGER,
    ExpDateID    INTEGER,
    UserType     TEXT,
    SerialID     TEXT,
    KeyCode      TEXT,
    FirstName    TEXT,
    LastName     TEXT,
    Department   TEXT,
    Title        TEXT,
    Address      TEXT,
    ContactInfor TEXT,
    Status       TEXT,
    Used         BOOLEAN DEFAULT 0,
    ExpDate      BOOLEAN DEFAULT 0
);

-- TabPageID: the page (0-7) of the multi-lock window that holds the lock.
CREATE TABLE TempLock1 (
    LockID       INTEGER,
    SerialID     TEXT,
    LockName     TEXT,
    LockLocation TEXT,
    Used         BOOLEAN DEFAULT 0,
    TabPageID    INTEGER,
    LockStatusID INTEGER
);

CREATE TABLE TempLock2 (
    LockID       INTEGER,
    SerialID     TEXT,
    LockName     TEXT,
    LockLocation TEXT,
    Used         BOOLEAN DEFAULT 0,
    TabPageID    INTEGER,
    LockStatusID INTEGER
);

CREATE TABLE TempLockKey (
    LockID        INTEGER,
    KeyID         INTEGER,
    TimeShiftID   INTEGER,
    ActExpDateID  INTEGER,
    ExpDateID     INTEGER,
    SerialID      TEXT,
    FirstName     TEXT,
    LastName      TEXT,
    Status        TEXT,
    Department    TEXT,
    Title         TEXT,
    Address       TEXT,
    ContactInfor  TEXT,
    UserType      TEXT,
    KeyCode       TEXT,
    LastSetupTime DATETIME,
    ExpDate       BOOLEAN DEFAULT 0,
    Used          BOOLEAN DEFAULT 0
);
CREATE INDEX TempLockKey_LockID ON TempLockKey (LockID, KeyID);

-- Serial ids of the locks a New Lock Setup key brought back.
CREATE TABLE LockSerialID (
    SerialID TEXT,
    Exist    BOOLEAN DEFAULT 0,
    LockName TEXT
);

-- The settings a Get Information key brought back from a lock.
CREATE TABLE TimeShift1 (
    GroupID   INTEGER,
    BeginTime TIME,
    EndTime   TIME,
    DayOfWeek TEXT
);

CREATE TABLE LockStatusST1 (
    LockStatusID INTEGER,
    LockStatus   TEXT,
    BeginTime    TIME,
    Sunday       BOOLEAN DEFAULT 0,
    Monday       BOOLEAN DEFAULT 0,
    Tuesday      BOOLEAN DEFAULT 0,
    Wednesday    BOOLEAN DEFAULT 0,
    Thursday     BOOLEAN DEFAULT 0,
    Friday       BOOLEAN DEFAULT 0,
    Saturday     BOOLEAN DEFAULT 0
);

CREATE TABLE ActExpDateST1 (
    GroupID        INTEGER,
    ActivationDate DATETIME,
    ExpirationDate DATETIME
);

CREATE TABLE ExceptionDateST1 (
    GroupID           INTEGER,
    ExceptionDateFrom DATETIME,
    ExceptionDateTo   DATETIME
);

-- Rows every database starts with --------------------------------------------------------

-- The demo operator; change its password after the first login.
INSERT INTO Admin (UserName, Password, Level) VALUES ('admin', 'admin', 2);

INSERT INTO TitleName (TitleName, Level) VALUES ('iOstrivane Lock Management', 2);

INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (1, 'No Limit Classroom Mode');
INSERT INTO LockStatus (LockStatusID, LockStatusName) VALUES (2, 'No Limit Storehouse Mode');

-- Group 1 of each kind is "No Limit": no time windows, no dates.
INSERT INTO TimeGroup (GroupID, GroupName) VALUES (1, 'No Limit');
INSERT INTO ActExpDateST (GroupID, ActivationDate, ExpirationDate) VALUES (1, NULL, NULL);
INSERT INTO ExceptionDateST (GroupID, ExceptionDateFrom, ExceptionDateTo) VALUES (1, NULL, NULL);

INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (1, 'Sunday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (2, 'Monday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (3, 'Tuesday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (4, 'Wednesday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (5, 'Thursday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (6, 'Friday');
INSERT INTO TempWeek (DayID, DayOfWeek) VALUES (7, 'Saturday');

-- The one-off code table's rows; the Lock Maintenance window only changes their codes.
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (1, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (2, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (3, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (4, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (5, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (6, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (7, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (8, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (9, '');
INSERT INTO OneOffCode (CodeNo, OneOffCode) VALUES (10, '');

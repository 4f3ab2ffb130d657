#pragma once

#include "common/controls/ComboBox.h"
#include "common/controls/Control.h"
#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"

#include <QDateTime>

#include <array>
#include <functional>

namespace harbel {

// The schedule as the registry keeps it.
struct ScheduleSettings {
    // Registry value names of the day boxes, Saturday first; Friday's is "fri".
    static const std::array<const char*, 7> kDayNames;

    bool NoSchedule = true;
    QString SchHour = QStringLiteral("1");
    QString SchMinute = QStringLiteral(":00");
    QString SchType = QStringLiteral("AM");
    bool Today = true;
    bool SelectDay = false;
    std::array<bool, 7> days{};  // Sat, Sun, Mon, Tue, Wed, Thr, fri
    bool OverWrite = true;
    bool Resume = false;
    bool Skip = false;

    // What a scheduled start does with an existing file: 1 overwrite, 2 resume, 3 do not download.
    int existsAction() const { return Skip ? 3 : Resume ? 2 : 1; }
    // Whether the box of this weekday (1 Monday ... 7 Sunday) is ticked.
    bool dayChecked(int dayOfWeek) const;

    static ScheduleSettings read();
    void write() const;
};

// Target minus now, field by field from the milliseconds up, each negative field borrowing from the
// next one; only the hours may stay negative.
struct TimeDifference {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int milliseconds = 0;

    static TimeDifference between(int targetHour, int targetMinute, int targetSecond, const QTime& now);
    bool underASecond() const { return hours == 0 && minutes == 0 && seconds == 0; }
};

// The schedule dialog ("Schedule Downloads") and the evaluation behind it: OK checks the chosen
// time, arms the main window's ExtraTimer1 and stores the choices; the timer's wake-ups evaluate
// the stored schedule again (run mode) until the moment is reached.
class frmSchedule final : public Form {
    Q_OBJECT
public:
    explicit frmSchedule(ExtraTimer& timer, QObject* parent = nullptr);

    Label lblInfo{*this, QStringLiteral("lblInfo")};
    CheckBox chkNoSch{*this, QStringLiteral("chkNoSch")};
    ComboBox cmbHour{*this, QStringLiteral("cmbHour")};
    ComboBox cmbMinute{*this, QStringLiteral("cmbMinute")};
    ComboBox cmbType{*this, QStringLiteral("cmbType")};
    OptionButton optToday{*this, QStringLiteral("optToday")};
    OptionButton optSelDay{*this, QStringLiteral("optSelDay")};
    CheckBox chkSat{*this, QStringLiteral("chkSat")};
    CheckBox chkSun{*this, QStringLiteral("chkSun")};
    CheckBox chkMon{*this, QStringLiteral("chkMon")};
    CheckBox chkTue{*this, QStringLiteral("chkTue")};
    CheckBox chkWed{*this, QStringLiteral("chkWed")};
    CheckBox chkThr{*this, QStringLiteral("chkThr")};
    CheckBox chkFri{*this, QStringLiteral("chkFri")};
    Frame fraExisting{*this, QStringLiteral("fraExisting")};
    OptionButton optOver{*this, QStringLiteral("optOver")};
    OptionButton optRes{*this, QStringLiteral("optRes")};
    OptionButton optSkip{*this, QStringLiteral("optSkip")};
    Button cmdOK{*this, QStringLiteral("cmdOK")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

    // The day boxes in the order of ScheduleSettings::days.
    std::array<CheckBox*, 7> dayBoxes() { return {&chkSat, &chkSun, &chkMon, &chkTue, &chkWed, &chkThr, &chkFri}; }
    std::array<const CheckBox*, 7> dayBoxes() const
    {
        return {&chkSat, &chkSun, &chkMon, &chkTue, &chkWed, &chkThr, &chkFri};
    }

    // True while the timer's wake-up is evaluating; false for the user's OK.
    bool RunMode = false;
    // The last evaluation reached the scheduled moment.
    bool TimeOn = false;
    // The schedule in force: the stored one, or the dialog's once OK has taken it.
    ScheduleSettings current;

    // The local time; a test sets it.
    std::function<QDateTime()> now = &QDateTime::currentDateTime;

    // Reads the stored schedule into the controls and enables them by the choices.
    void Form_Load();
    void chkNoSch_Click();
    void optToday_Click();
    void optSelDay_Click();
    // Choosing an hour above 12 makes the time a 24-hour one.
    void cmbHour_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    // Evaluates the stored schedule for the timer (run mode) and says whether its moment has come.
    // The dialog's controls are left alone: the user may be editing them.
    bool InitTimer(bool startup);
    // After a scheduled run: the timer stops; on selected days it wakes again after midnight.
    void afterRun();

    ScheduleSettings fromControls() const;

private:
    void toControls(const ScheduleSettings& s);
    void applyEnabling();
    void evaluate(const ScheduleSettings& s);
    void arm(qint32 unit, qint32 interval);
    void armAfterMidnight(const QDateTime& clock, const ScheduleSettings& s);
    // The hour of the day the schedule names (0 to 23; 12 AM is 0, 12 PM is 12).
    static int scheduledHour(const ScheduleSettings& s);

    ExtraTimer& timer_;
    // The moment the timer was last armed to reach; invalid when it waits for nothing.
    QDateTime armedFor_;
};

}  // namespace harbel

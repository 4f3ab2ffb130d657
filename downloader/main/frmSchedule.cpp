#include "downloader/main/frmSchedule.h"

#include "downloader/engine/DownloadText.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/CRegister.h"
#include "common/prompts/Prompts.h"
#include "common/support/Skin.h"

namespace harbel {

const std::array<const char*, 7> ScheduleSettings::kDayNames = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thr", "fri"};

namespace {

const QString& key()
{
    static const QString k = QString::fromLatin1(kSettingsKey);
    return k;
}

QString readValue(const CRegister& reg, const char* name, const char* fallback)
{
    return reg.REGGetSetting(HKEY_LOCAL_MACHINE, key(), QString::fromLatin1(name), QString::fromLatin1(fallback));
}

// Option buttons are stored as "True"/"False", but the defaults read as "1"/"0".
bool truth(const QString& text)
{
    return text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || text.trimmed().toInt() != 0;
}

QString optionText(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

QString boxText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QStringList hourList()
{
    QStringList hours;
    for (int h = 1; h <= 23; ++h)
        hours << QString::number(h);
    hours << QStringLiteral("00");
    return hours;
}

QStringList minuteList()
{
    QStringList minutes;
    for (int m = 0; m < 60; m += 5)
        minutes << QStringLiteral(":%1").arg(m, 2, 10, QLatin1Char('0'));
    return minutes;
}

void fill(ComboBox& combo, const QStringList& items)
{
    combo.Clear();
    for (const QString& item : items)
        combo.AddItem(item);
}

// Chooses the item with this text; a stored text that is not in the list falls back to the default.
void choose(ComboBox& combo, const QString& text, const QString& fallback)
{
    const qsizetype at = combo.List().indexOf(text);
    combo.setListIndex(int(at >= 0 ? at : combo.List().indexOf(fallback)));
}

}  // namespace

bool ScheduleSettings::dayChecked(int dayOfWeek) const
{
    // Qt numbers Monday 1 to Sunday 7; the boxes start with Saturday.
    static constexpr int box[] = {2, 3, 4, 5, 6, 0, 1};
    return dayOfWeek >= 1 && dayOfWeek <= 7 && days[std::size_t(box[dayOfWeek - 1])];
}

ScheduleSettings ScheduleSettings::read()
{
    const CRegister reg;
    ScheduleSettings s;
    s.NoSchedule = truth(readValue(reg, "NoSchedule", "1"));
    s.SchHour = readValue(reg, "SchHour", "1");
    s.SchMinute = readValue(reg, "SchMinute", ":00");
    s.SchType = readValue(reg, "SchType", "AM");
    s.Today = truth(readValue(reg, "Today", "1"));
    s.SelectDay = truth(readValue(reg, "SelectDay", "0"));
    for (std::size_t d = 0; d < s.days.size(); ++d)
        s.days[d] = truth(readValue(reg, kDayNames[d], "0"));
    s.OverWrite = truth(readValue(reg, "OverWrite", "1"));
    s.Resume = truth(readValue(reg, "Resume", "0"));
    s.Skip = truth(readValue(reg, "Skip", "0"));
    return s;
}

void ScheduleSettings::write() const
{
    CRegister reg;
    const auto put = [&reg](const QString& name, const QString& value) {
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, key(), name, value);
    };
    put(QStringLiteral("NoSchedule"), boxText(NoSchedule));
    put(QStringLiteral("SchHour"), SchHour);
    put(QStringLiteral("SchMinute"), SchMinute);
    put(QStringLiteral("SchType"), SchType);
    put(QStringLiteral("Today"), optionText(Today));
    put(QStringLiteral("SelectDay"), optionText(SelectDay));
    for (std::size_t d = 0; d < days.size(); ++d)
        put(QString::fromLatin1(kDayNames[d]), boxText(days[d]));
    put(QStringLiteral("OverWrite"), optionText(OverWrite));
    put(QStringLiteral("Resume"), optionText(Resume));
    put(QStringLiteral("Skip"), optionText(Skip));
}

TimeDifference TimeDifference::between(int targetHour, int targetMinute, int targetSecond, const QTime& now)
{
    TimeDifference d;
    d.milliseconds = -now.msec();
    int borrow = d.milliseconds < 0 ? 1 : 0;
    d.milliseconds += borrow * 1000;
    d.seconds = targetSecond - now.second() - borrow;
    borrow = d.seconds < 0 ? 1 : 0;
    d.seconds += borrow * 60;
    d.minutes = targetMinute - now.minute() - borrow;
    borrow = d.minutes < 0 ? 1 : 0;
    d.minutes += borrow * 60;
    d.hours = targetHour - now.hour() - borrow;
    return d;
}

frmSchedule::frmSchedule(ExtraTimer& timer, QObject* parent)
    : Form(QStringLiteral("frmSchedule"), parent), timer_(timer)
{
    setCaption(QStringLiteral("Schedule Downloads"));
    lblInfo.setCaption(
        QStringLiteral("The program will start downloading leftover files in the Downloads list at this time"));
    chkNoSch.setCaption(QStringLiteral("Do not schedule downloads"));
    optToday.setCaption(QStringLiteral("Today Only"));
    optSelDay.setCaption(QStringLiteral("Download at this time in selected days:"));
    const std::array<CheckBox*, 7> boxes = dayBoxes();
    const char* captions[] = {"Sat", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri"};
    for (std::size_t d = 0; d < boxes.size(); ++d)
        boxes[d]->setCaption(QString::fromLatin1(captions[d]));
    fraExisting.setCaption(QStringLiteral("Existing Files:-"));
    optOver.setCaption(QStringLiteral("Overwrite"));
    optRes.setCaption(QStringLiteral("Resume"));
    optSkip.setCaption(QStringLiteral("Do not download"));
    cmdOK.setCaption(QStringLiteral("&OK"));
    cmdCancel.setCaption(QStringLiteral("&Cancel"));
    fill(cmbHour, hourList());
    fill(cmbMinute, minuteList());
    fill(cmbType, {QStringLiteral("AM"), QStringLiteral("PM"), QStringLiteral("24HR")});
    toControls(current);
}

void frmSchedule::Form_Load()
{
    current = ScheduleSettings::read();
    toControls(current);
    Skin& skin = Skin::shared();
    if (skin.isLoaded()) {
        skin.ApplySkinByName(*this, QStringLiteral("secondForm"));
        SkinForm(*this, skin);
    }
}

void frmSchedule::toControls(const ScheduleSettings& s)
{
    chkNoSch.setValue(s.NoSchedule ? 1 : 0);
    choose(cmbHour, s.SchHour, QStringLiteral("1"));
    choose(cmbMinute, s.SchMinute, QStringLiteral(":00"));
    choose(cmbType, s.SchType, QStringLiteral("AM"));
    // Exactly one option of each group is on; the first one stored true wins.
    optToday.setValue(s.Today || !s.SelectDay);
    optSelDay.setValue(!optToday.Value());
    const std::array<CheckBox*, 7> boxes = dayBoxes();
    for (std::size_t d = 0; d < boxes.size(); ++d)
        boxes[d]->setValue(s.days[d] ? 1 : 0);
    optOver.setValue(s.OverWrite || (!s.Resume && !s.Skip));
    optRes.setValue(!optOver.Value() && s.Resume);
    optSkip.setValue(!optOver.Value() && !optRes.Value());
    applyEnabling();
}

ScheduleSettings frmSchedule::fromControls() const
{
    ScheduleSettings s;
    s.NoSchedule = chkNoSch.Value() == 1;
    s.SchHour = cmbHour.Text();
    s.SchMinute = cmbMinute.Text();
    s.SchType = cmbType.Text();
    s.Today = optToday.Value();
    s.SelectDay = optSelDay.Value();
    const std::array<const CheckBox*, 7> boxes = dayBoxes();
    for (std::size_t d = 0; d < boxes.size(); ++d)
        s.days[d] = boxes[d]->Value() == 1;
    s.OverWrite = optOver.Value();
    s.Resume = optRes.Value();
    s.Skip = optSkip.Value();
    return s;
}

void frmSchedule::applyEnabling()
{
    const bool on = chkNoSch.Value() != 1;
    for (Control* c : std::initializer_list<Control*>{&cmbHour, &cmbMinute, &cmbType, &optToday, &optSelDay})
        c->setEnabled(on);
    for (CheckBox* box : dayBoxes())
        box->setEnabled(on && optSelDay.Value());
}

void frmSchedule::chkNoSch_Click()
{
    applyEnabling();
}

void frmSchedule::optToday_Click()
{
    optToday.setValue(true);
    optSelDay.setValue(false);
    applyEnabling();
}

void frmSchedule::optSelDay_Click()
{
    optSelDay.setValue(true);
    optToday.setValue(false);
    applyEnabling();
}

void frmSchedule::cmbHour_Click()
{
    if (cmbHour.Text().toInt() > 12)
        choose(cmbType, QStringLiteral("24HR"), QStringLiteral("24HR"));
}

void frmSchedule::cmdOK_Click()
{
    RunMode = false;
    evaluate(fromControls());
}

void frmSchedule::cmdCancel_Click()
{
    Hide();
}

bool frmSchedule::InitTimer(bool /*startup*/)
{
    // The dialog may be open over the wake-up: its OK must still be the user's.
    const bool dialogMode = RunMode;
    RunMode = true;
    evaluate(ScheduleSettings::read());
    RunMode = dialogMode;
    return TimeOn;
}

void frmSchedule::afterRun()
{
    timer_.setEnabled(false);
    armedFor_ = {};
    if (!current.NoSchedule && current.SelectDay)
        armAfterMidnight(now(), current);
}

int frmSchedule::scheduledHour(const ScheduleSettings& s)
{
    // On a twelve-hour clock 12 AM is midnight and 12 PM noon: the 12 counts as 0. An hour above
    // 12 is no twelve-hour time (-1).
    const int hourText = s.SchHour.toInt();
    const bool pm = s.SchType == QLatin1String("PM");
    if (!pm && s.SchType != QLatin1String("AM"))
        return hourText;
    return hourText > 12 ? -1 : hourText % 12 + (pm ? 12 : 0);
}

void frmSchedule::arm(qint32 unit, qint32 interval)
{
    timer_.setIntervalUnit(unit);
    timer_.setInterval(interval);
    timer_.setEnabled(true);
}

void frmSchedule::armAfterMidnight(const QDateTime& clock, const ScheduleSettings& s)
{
    const TimeDifference d = TimeDifference::between(23, 59, 59, clock.time());
    arm(1, qMax(1, d.hours * 60 + d.minutes + 1));
    // The wake-up lands up to a minute after midnight, past a moment set for 00:00 of a ticked
    // day: that moment is kept, so the wake-up runs it as a late one.
    const QDate tomorrow = clock.date().addDays(1);
    const int hour = scheduledHour(s);
    armedFor_ = hour >= 0 && hour < 24 && s.dayChecked(tomorrow.dayOfWeek())
                    ? QDateTime(tomorrow, QTime(hour, s.SchMinute.right(2).toInt()))
                    : QDateTime();
}

void frmSchedule::evaluate(const ScheduleSettings& s)
{
    // Each evaluation says afresh whether the moment has come: a moment reached once must not
    // start the queue again at every later wake-up.
    TimeOn = false;
    current = s;
    const QDateTime clock = now();
    const QTime time = clock.time();
    const auto reached = [this] {
        TimeOn = true;
        armedFor_ = {};
    };

    if (s.NoSchedule) {
        // Ticking "Do not schedule" means no run: whatever was armed is called off.
        timer_.setEnabled(false);
        armedFor_ = {};
    } else if (RunMode && armedFor_.isValid() && clock >= armedFor_) {
        // The timer woke late (a busy or suspended machine): the moment it was armed for has passed
        // and has not been run yet.
        reached();
        return;
    } else if (s.SelectDay && !s.dayChecked(clock.date().dayOfWeek())) {
        armAfterMidnight(clock, s);
    } else {
        const int hourText = s.SchHour.toInt();
        const int minute = s.SchMinute.right(2).toInt();
        const bool twelveHour = s.SchType == QLatin1String("AM") || s.SchType == QLatin1String("PM");
        const int hour = scheduledHour(s);
        if (twelveHour && hourText > 12) {
            if (!RunMode)
                Prompts::instance().MsgBox(lang("13023", "Incorrect Time!!..."), MsgButtons::OkOnly,
                                           MsgIcon::Exclamation, programTitle());
            return;
        }
        const TimeDifference d = TimeDifference::between(hour, minute, 0, time);
        if (d.hours < 0) {
            if (s.SelectDay) {
                // Past for today: the next selected day is looked at after midnight.
                armAfterMidnight(clock, s);
            } else {
                if (!RunMode)
                    Prompts::instance().MsgBox(lang("13024", "This is a previous time!!..."), MsgButtons::OkOnly,
                                               MsgIcon::Exclamation, programTitle());
                return;
            }
        } else if (d.underASecond()) {
            reached();
            return;
        } else {
            // Minutes while a minute or more is left (waking less than a minute early), then
            // seconds; never an interval of 0, which would never wake.
            if (d.hours > 0 || d.minutes > 0)
                arm(1, d.hours * 60 + d.minutes);
            else
                arm(0, qMax(1, d.seconds - 1));
            armedFor_ = QDateTime(clock.date(), QTime(0, 0)).addSecs(qint64(hour) * 3600 + minute * 60);
        }
    }
    if (RunMode)
        return;
    s.write();
    Hide();
    RefreshControls(*this);
}

}  // namespace harbel

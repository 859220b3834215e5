#include "formfixture.h"

namespace formfixture {

using namespace Qt::StringLiterals;

namespace {

const QVector<TfrMemoryDataSet::Field> kAttrFields = {
    {u"ENNAME"_s, true},     {u"EDRPOU"_s, true},   {u"ENADDR"_s, true},     {u"ENCH_POS"_s, true},
    {u"ENCH_NAME"_s, true},  {u"ENPHONE"_s, true},  {u"OBL_DESCR"_s, true},  {u"OBL_ID"_s, false},
    {u"REGN_DESCR"_s, true}, {u"REGN_ID"_s, false}, {u"CITY_DESCR"_s, true}, {u"CITY_ID"_s, false},
    {u"SPODU_D"_s, true},    {u"SPODU_ID"_s, true}, {u"KVED_DESCR"_s, true}, {u"KVED_ID"_s, true},
    {u"KFV_DESCR"_s, true},  {u"KFV_ID"_s, true},   {u"X1"_s, false},        {u"X2"_s, false},
    {u"X3"_s, false},        {u"Y1"_s, false},      {u"Y2"_s, false},        {u"Y3"_s, false},
};

const QVector<TfrMemoryDataSet::Field> kDataFields = {
    {u"CONTID"_s, false}, {u"CODE"_s, true},  {u"DESCR"_s, true},
    {u"POTEN"_s, false},  {u"FACT"_s, false}, {u"LIMIT"_s, false},
};

struct Pollutant {
    const char16_t* code;
    const char16_t* descr;
    double limit;
};

// Pollutants of the classifier, in the order of their ids.
const Pollutant kPollutants[] = {
    {u"01001", u"Арсен та його сполуки (у перерахунку на арсен)", 0.001},
    {u"01003", u"Залізо та його сполуки (у перерахунку на залізо)", 0.1},
    {u"01005", u"Мідь та її сполуки (у перерахунку на мідь)", 0.01},
    {u"01006", u"Нікель та його сполуки (у перерахунку на нікель)", 0.001},
    {u"01011", u"Марганець та його сполуки (у перерахунку на діоксид марганцю)", 0},
    {u"03001", u"Речовини у вигляді суспендованих твердих частинок, недиференційовані за складом", 0},
    {u"03002", u"Сажа", 0},
    {u"03004", u"Тверді частинки з аеродинамічним діаметром до 10 мкм (ТЧ10)", 0},
    {u"03005", u"Тверді частинки з аеродинамічним діаметром до 2,5 мкм (ТЧ2,5)", 0},
    {u"03006", u"Пил неорганічний, що містить діоксид кремнію", 0},
    {u"04001", u"Азоту діоксид", 0},
    {u"04002", u"Азоту(1) оксид (N2O)", 0},
    {u"04003", u"Аміак", 0},
    {u"05001", u"Сірки діоксид", 0},
    {u"05002", u"Сірководень", 0},
    {u"06000", u"Вуглецю оксид", 0},
    {u"07000", u"Вуглецю діоксид", 0},
    {u"09001", u"Фтористий водень та інші газоподібні сполуки фтору (у перерахунку на фтор)", 0},
    {u"09002", u"Фториди неорганічні тверді (у перерахунку на фтор)", 0},
    {u"10002", u"Водень хлористий (соляна кислота)", 0},
    {u"11000", u"Неметанові леткі органічні сполуки (НМЛОС)", 0},
    {u"11001", u"Формальдегід", 0},
    {u"11004", u"Ацетон", 0},
    {u"11007", u"Спирт метиловий (метанол)", 0},
    {u"11008", u"Спирт етиловий (етанол)", 0},
    {u"11012", u"Бутилацетат", 0},
    {u"11021", u"Бензин нафтовий (у перерахунку на вуглець)", 0},
    {u"11022", u"Вуглеводні граничні C12-C19", 0},
    {u"11101", u"Бензол", 0},
    {u"11102", u"Толуол (метилбензол)", 0},
    {u"11103", u"Ксилол (диметилбензол)", 0},
    {u"11108", u"Фенол", 0},
    {u"12000", u"Метан", 0},
    {u"13001", u"Бенз(а)пірен", 0},
    {u"13002", u"Поліхлоровані дибензо-п-діоксини та дибензофурани", 0},
    {u"16004", u"Аерозоль їдких лугів (у перерахунку на гідроксид натрію)", 0},
    {u"01000", u"Метали та їх сполуки", 0},
    {u"03000", u"Речовини у вигляді суспендованих твердих частинок (мікрочастинки та волокна)", 0},
    {u"04005", u"Азоту оксид (NO)", 0},
    {u"09000", u"Фтор та його сполуки (у перерахунку на фтор)", 0},
};

}  // namespace

std::unique_ptr<TfrMemoryDataSet> emptyAttr()
{
    return std::make_unique<TfrMemoryDataSet>(u"tblAttr"_s, kAttrFields);
}

std::unique_ptr<TfrMemoryDataSet> attr(const QVariantMap& changes)
{
    QVariantMap values = {
        {u"ENNAME"_s, u"Публічне акціонерне товариство \"Запорізький завод феросплавів\""_s},
        {u"EDRPOU"_s, u"00186520"_s},
        {u"ENADDR"_s, u"69600, м. Запоріжжя, вул. Північне шосе, 20"_s},
        {u"ENCH_POS"_s, u"Генеральний директор"_s},
        {u"ENCH_NAME"_s, u"Коваленко Олександр Петрович"_s},
        {u"ENPHONE"_s, u"(061) 289-20-00"_s},
        {u"OBL_DESCR"_s, u"ЗАПОРІЗЬКА ОБЛАСТЬ"_s},
        {u"OBL_ID"_s, 2300000000.0},
        {u"REGN_DESCR"_s, u"ЗАПОРІЖЖЯ"_s},
        {u"REGN_ID"_s, 2310100000.0},
        {u"CITY_DESCR"_s, u"ЗАПОРІЖЖЯ"_s},
        {u"CITY_ID"_s, 2310100000.0},
        {u"SPODU_D"_s, u"Міністерство економіки України"_s},
        {u"SPODU_ID"_s, u"L02"_s},
        {u"KVED_DESCR"_s, u"Виробництво чавуну, сталі та феросплавів"_s},
        {u"KVED_ID"_s, u"24.10"_s},
        {u"KFV_DESCR"_s, u"Приватна власність"_s},
        {u"KFV_ID"_s, u"10"_s},
        {u"X1"_s, 47},
        {u"X2"_s, 52},
        {u"X3"_s, 4},
        {u"Y1"_s, 35},
        {u"Y2"_s, 9},
        {u"Y3"_s, 31},
    };
    for (auto it = changes.begin(); it != changes.end(); ++it)
        values[it.key()] = it.value();
    auto table = emptyAttr();
    QVariantList row;
    for (const auto& f : kAttrFields)
        row.append(values.value(f.name));
    table->AppendRecord(row);
    return table;
}

std::unique_ptr<TfrMemoryDataSet> emptyData()
{
    return std::make_unique<TfrMemoryDataSet>(u"tblData"_s, kDataFields);
}

void addEmission(TfrMemoryDataSet& data, const QString& code, const QString& descr, const QVariant& poten,
                 const QVariant& fact, const QVariant& limit)
{
    data.AppendRecord({QVariant(double(data.RecordCount() + 1)), code, descr, poten, fact, limit});
}

std::unique_ptr<TfrMemoryDataSet> data(int count)
{
    auto table = emptyData();
    const int kinds = int(std::size(kPollutants));
    for (int i = 0; i < count; ++i) {
        const Pollutant& p = kPollutants[i % kinds];
        addEmission(*table, QString::fromUtf16(p.code), QString::fromUtf16(p.descr), 10.0 * (i + 1) + 0.125,
                    5.0 * (i + 1) + 0.0625, p.limit);
    }
    return table;
}

}  // namespace formfixture

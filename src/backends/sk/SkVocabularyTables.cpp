// The protocol vocabularies. Each row gives the name, its number where it starts a new run, and the
// Russian text (written here in UTF-8, stored as Windows-1251). SAME rows reuse another row's text.
#include "backends/sk/SkCp1251Literals.h"
#include "backends/sk/SkVocabulary.h"

const char* const CommandNames[kSkCommandCount] = {
    "MI_TEST", "MI_RESET", "MI_INIT", "MI_SET", "MI_GET", "MI_GET_LIST", "MI_RUN", "MI_EXEC",
};

// clang-format off
#define SK_PARAMETER_ROWS(TEXT)                                                                    \
    TEXT(P_FREQUENCY, "", "Диапазон частот")                                                       \
    TEXT(P_AUTO_GAIN, "", "Автоматическая регулировка усиления")                                   \
    TEXT(P_FREQUENCY_LIST2, "", "Список частот")                                                   \
    TEXT(P_MODE, "", "Режим работы прибора")                                                       \
    TEXT(P_AVERAGING, "", "Число усреднений")                                                      \
    TEXT(P_INTERVAL, "", "Интервал измерения")                                                     \
    TEXT(P_TEMPERATURE, "", "Температура прибора")                                                 \
    TEXT(P_SYNC_IN, "", "Вход синхронизации")                                                      \
    TEXT(P_SYNC_OUT, "", "Выход синхронизации")                                                    \
    TEXT(P_SYNC_OUT2, "", "Второй выход синхронизации")                                            \
    TEXT(P_FILE, "", "Работа с файлами прибора")                                                   \
    TEXT(P_COMPENSATION, "", "Компенсация потерь")                                                 \
    TEXT(P_RF_OUT, "", "Выход ВЧ")                                                                 \
    TEXT(P_ETHERNET, "", "Сетевые настройки прибора")                                              \
    TEXT(P_SER_NUM, "", "Заводской номер прибора")                                                 \
    TEXT(P_DATES, "", "Даты изготовления и поверки")                                               \
    TEXT(P_RUN_TIME, "", "Время наработки прибора")                                                \
    TEXT(P_EXT_REF_GEN, "", "Внешний опорный генератор")                                           \
    TEXT(P_BOOTROM, "", "Загрузчик прибора")                                                       \
    TEXT(P_SYNTH04, "", "Параметры синтезатора")                                                   \
    TEXT(P_ADC_PARAM, "", "Параметры АЦП")                                                         \
    TEXT(P_SYNTH04_GET_DAC, "", "Код ЦАП синтезатора")                                             \
    TEXT(P_SYNTH04_EPROM, "", "ППЗУ синтезатора")                                                  \
    TEXT(P_CONFIG, "", "Конфигурация прибора")                                                     \
    TEXT(P_RAM, "", "Оперативная память")                                                          \
    TEXT(P_EPROM, "", "Энергонезависимая память")                                                  \
    TEXT(P_RF_OUT_LIST, "", "Список уровней выхода ВЧ")                                            \
    TEXT(P_SEARCH_POWER, "", "Поиск уровня мощности")                                              \
    TEXT(P_INT_COMMAND, "", "Внутренняя команда")                                                  \
    TEXT(P_CALIBR, "", "Калибровка прибора")                                                       \
    TEXT(P_REGUL_CURVE, "", "Регулировочная характеристика")                                       \
    TEXT(P_MODULATION, "", "Параметры модуляции")                                                  \
    TEXT(P_BLOCKINFRAM, "", "Блок данных в ОЗУ")                                                   \
    TEXT(P_BOOTROM2, "", "Второй загрузчик прибора")                                               \
    TEXT(P_RF_BUTTON, "", "Кнопка включения выхода ВЧ")                                            \
    TEXT(P_CALIBR_FREQ, "", "Частоты калибровки")                                                  \
    TEXT(P_POINTS_LIST, "", "")                                                                    \
    TEXT(P_GEN_SYNC, "", "Синхронизация генератора")                                               \
    TEXT(P_REGUL_CURVE_2, "", "Вторая регулировочная характеристика")                              \
    TEXT(P_AVTOZERO, "", "Автоматическая установка нуля")                                          \
    TEXT(P_R2M_MAX_NUMBER, "", "Число параметров Р2М")                                             \
    TEXT(P_CLK, " = 50", "")                                                                       \
    TEXT(P_AUX, "", "Вспомогательные параметры")                                                   \
    TEXT(P_AGC, "", "Режим АРУ")                                                                   \
    TEXT(P_DECIMATION, "", "Коэффициент децимации")                                                \
    TEXT(P_FACTOR, "", "")                                                                         \
    TEXT(P_CHANNEL_MASK, "", "Маска каналов")                                                      \
    TEXT(P_RRS_FREQUENCY, "", "Диапазон частот настройки/перестройки РПТ")                         \
    TEXT(P_RRS_ATTENUATE, "", "Ослабление аттенюатора РПТ")                                        \
    TEXT(P_RRS_BASE_ATTENUATE, "", "Базовое ослабление РПТ")                                       \
    TEXT(P_RRS_REL_ATTENUATE, "", "Относительное ослабление РПТ")                                  \
    TEXT(P_RRS_RF_IN, "", "Вход ВЧ РПТ")                                                           \
    TEXT(P_RRS_TEMPERATURE, "", "Температура РПТ")                                                 \
    TEXT(P_GEN_REL_FREQUENCY, "", "Относительная частота генератора")                              \
    TEXT(P_GEN_ATTENUATE, "", "Ослабление генератора")                                             \
    TEXT(P_GEN_RF_OUT, "", "Выход ВЧ генератора")                                                  \
    TEXT(P_LVDS_STATUS, "", "Состояние канала LVDS")                                               \
    TEXT(P_IF_FILTER_BANDWIDTH, "", "Полоса фильтра ПЧ")                                           \
    TEXT(P_NOISE_GEN, "", "Генератор шума")                                                        \
    TEXT(P_TABLE_NKPP, "", "Таблица калибровочных коэффициентов")                                  \
    TEXT(P_VIDEO_FILTER_BANDWIDTH, "", "Полоса пропускания видео фильтра")                         \
    TEXT(P_SWITCH, "", "Состояние коммутатора")                                                    \
    TEXT(P_DISPLAY_DETECTOR, "", "Тип детектора")                                                  \
    TEXT(P_RRS_LOW_NOISE_AMPL, "", "Малошумящий усилитель РПТ")                                    \
    TEXT(P_ECAL_STATE, "", "Состояние электронного калибратора")                                   \
    TEXT(P_IF_AMPLIFY, "", "Усиление тракта ПЧ")                                                   \
    TEXT(P_IF_COEFFICIENTS, "", "Коэффициенты тракта ПЧ")                                          \
    TEXT(P_RF_OUT_LIST2, "", "Второй список уровней выхода ВЧ")                                    \
    TEXT(P_SYNTH_MODE, "", "Режим синтезатора")                                                    \
    TEXT(P_EXT_REF_GEN2, "", "Второй внешний опорный генератор")                                   \
    TEXT(P_RF_OUT2, "", "Второй выход ВЧ")                                                         \
    TEXT(P_PHASE_GEN, "", "Фаза сигнала генератора")                                               \
    TEXT(P_AC_DC_INPUT, "", "Вход открытый/закрытый")                                              \
    TEXT(P_CORR_FR, "", "Коррекция частотной характеристики")                                      \
    TEXT(P_SID, "", "Идентификатор сеанса")                                                        \
    TEXT(P_PRESELECTOR_OFFSET, "", "Смещение преселектора")                                        \
    TEXT(P_LO1_MODE, "", "Режим первого гетеродина")                                               \
    TEXT(P_IF_PROCESSING, "", "Обработка сигнала ПЧ")                                              \
    TEXT(P_RRS_FREQUENCY_COUNTER, "", "Частотомер РПТ")                                            \
    TEXT(P_RRS_REFERENCE_LEVEL, "", "Амплитудные параметры")                                       \
    TEXT(P_MEASURE_TIME, "", "Время измерения")                                                    \
    TEXT(P_OPTIMUM_POINTS, "", "Оптимальное число точек")                                          \
    TEXT(P_TIME, "", "Время")                                                                      \
    TEXT(P_PHASE, "", "Фаза")                                                                      \
    TEXT(P_SYNC_PARAM, "", "Параметры синхронизации")                                              \
    TEXT(P_LOG_KOEF, "", "Логарифмический коэффициент")                                            \
    TEXT(P_SWEEP_TIME, "", "Время развертки")                                                      \
    TEXT(P_MAX_MIXER_LEVEL, "", "Максимальный уровень на смесителе")                               \
    TEXT(P_INPUT_TYPE, "", "Тип входа")                                                            \
    TEXT(P_INSTRUMENT_INPUT, "", "Вход прибора")                                                   \
    TEXT(P_ADC_DITHERING, "", "Подмешивание шума в АЦП")                                           \
    TEXT(P_STREAM_MODE, "", "Режим потоковой передачи")                                            \
    TEXT(P_SAMPLE_RATE, "", "Параметры оцифровки")                                                 \
    TEXT(P_INPUT_IMPEDANCE, "", "Входное сопротивление")                                           \
    TEXT(P_STREAM_POINTS, "", "Число точек потока")                                                \
    TEXT(P_SWEEP_MIN_IF_FILTER, "", "Минимальная полоса фильтра ПЧ при развертке")                 \
    TEXT(P_RESPONSE_FREQUENCY, "", "Частоты таблицы ЧХ")                                           \
    TEXT(P_RESPONSE_AMPLITUDE, "", "Амплитуды таблицы ЧХ")                                         \
    TEXT(P_RESPONSE_PHASE, "", "Фазы таблицы ЧХ")                                                  \
    TEXT(P_SYNC_POINT, "", "Точка синхронизации")                                                  \
    TEXT(P_DEMODULATION, "", "Параметры демодуляции")                                              \
    TEXT(P_INT_COMMAND_LIST, "", "Список внутренних команд")                                       \
    TEXT(P_MEASURE_PROPERTY, "", "Свойства измерения")                                             \
    TEXT(P_RRS_FREQUENCY_LIST2, "", "Список частот РПТ")                                           \
    TEXT(P_SPECIFICATION, "", "Технические характеристики прибора")                                \
    TEXT(P_GEN_MODE, "", "Режим генератора")                                                       \
    TEXT(P_IF, "", "Промежуточная частота")                                                        \
    TEXT(P_PREFILTERS_CALIBRATION, "", "Режим калибровки прибора")                                 \
    TEXT(P_NOISE_REC_GAIN, "", "Усиление шумового приемника")                                      \
    TEXT(P_SYNC_POINT_LIST, "", "Список точек синхронизации")                                      \
    TEXT(P_IF_FILTER_NOISE_BANDWIDTH, "", "Шумовая полоса фильтра ПЧ")                             \
    TEXT(P_DIVIDER, "", "Коэффициент деления")                                                     \
    TEXT(P_IF_MODE, "", "Режим тракта ПЧ")                                                         \
    TEXT(P_CALIBR_IF_FILTER_BANDWIDTH, "", "Калибровка полосы фильтра ПЧ")                         \
    TEXT(P_DEBUG, "", "Отладочные параметры")                                                      \
    TEXT(P_IF_GAIN, "", "Коэффициент усиления ПЧ")                                                 \
    TEXT(P_PHASE_NOISE_FREQ_OFFSETS, "", "Отстройки для измерения фазового шума")                  \
    TEXT(P_PHASE_NOISE_FREQ_LIST, "", "Список частот измерения фазового шума")                     \
    TEXT(P_POINTS, "", "Число точек")                                                              \
    TEXT(P_DC_BIAS, "", "Постоянное смещение")                                                     \
    TEXT(P_IF_FILTER_TYPE, "", "Тип фильтра ПЧ")                                                   \
    TEXT(P_DEMOD_DATA_TO_FILE, "", "Запись демодулированных данных в файл")                        \
    TEXT(P_DEMOD_SPECTRUM_DATA, "", "Спектр демодулированного сигнала")                            \
    TEXT(P_DEMOD_SPECTRUM_FREQUENCY, "", "Частоты спектра демодулированного сигнала")              \
    TEXT(P_DEMOD_SPECTRUM_RBW, "", "Полоса разрешения спектра демодулированного сигнала")          \
    TEXT(P_DEMOD_WAVEFORM_DATA, "", "Осциллограмма демодулированного сигнала")                     \
    TEXT(P_DEMOD_WAVEFORM_TIME, "", "Временная шкала осциллограммы")                               \
    TEXT(P_DEMOD_FREQUENCY_CORR, "", "Коррекция частоты при демодуляции")                          \
    TEXT(P_IF_BANDWIDTH_LF_REDUCTION, "", "Сужение полосы ПЧ на низких частотах")                  \
    TEXT(P_PULSE_MODE, "", "Импульсный режим")                                                     \
    TEXT(P_PULSE_PARAM, "", "Параметры импульсной модуляции")                                      \
    TEXT(P_HARMONICS_PROC_MODE, "", "Режим измерения гармоник")                                    \
    TEXT(P_HARMONICS_FREQUENCY_LIST, "", "Список частот гармоник")                                 \
    TEXT(P_NOISE_REC_RBW, "", "Задание ФПЧ шумового приемника")                                    \
    TEXT(P_M3M_UNITS, " = 200", "Единицы измерения М3М")                                           \
    TEXT(P_M3M_DIGIT, "", "Разрядность индикации М3М")                                             \
    TEXT(P_M3M_LIGHT, "", "Подсветка индикатора М3М")                                              \
    TEXT(P_M3M_ZEROING, "", "Установка нуля М3М")                                                  \
    TEXT(P_POWER_OFFSET, "", "Смещение уровня мощности")                                           \
    TEXT(P_DATE_TIME, "", "Дата и время")                                                          \
    TEXT(P_PROFILE, "", "Профиль настроек")                                                        \
    TEXT(P_LIMITS, "", "Пределы измерения")                                                        \
    TEXT(P_MEMORY, "", "Память измерителя")                                                        \
    TEXT(P_CURRENT_POW, "", "Текущая мощность")                                                    \
    TEXT(P_MAX_NUMBER, "", "Число параметров")

#define SK_ERROR_ROWS(TEXT, SAME)                                                                  \
    TEXT(MI_NO_ERROR, "", "Команда успешно выполнена")                                             \
    TEXT(MI_PARAMETER_CORRECTED, "", "Значение параметра скорректировано")                         \
    TEXT(MI_PARAMETER_IGNORED, "", "Часть параметров неизвестна и поэтому проигнорирована")        \
    TEXT(MI_TIMEOUT, "", "Истекло время ожидания")                                                 \
    TEXT(MI_ETHERNET, "", "Предупреждение сетевого интерфейса")                                    \
    TEXT(MI_FINISH, "", "Измерение завершено")                                                     \
    TEXT(MI_UNLEVEL, "", "Уровень выходного сигнала не установлен")                                \
    TEXT(MI_BREAK_FLOW, "", "Поток данных прерван")                                                \
    TEXT(MI_RF_OVERLOAD, "", "Перегрузка по входу ВЧ")                                             \
    TEXT(MI_ADC_OVERLOAD, "", "Перегрузка АЦП")                                                    \
    TEXT(MI_IF_OVERLOAD, "", "Перегрузка тракта ПЧ")                                               \
    TEXT(MI_IF1_OVERLOAD, "", "Перегрузка по первой ПЧ")                                           \
    TEXT(MI_IF2_OVERLOAD, "", "Перегрузка по второй ПЧ")                                           \
    TEXT(MI_IF3_OVERLOAD, "", "Перегрузка по третьей ПЧ")                                          \
    TEXT(MI_IF4_OVERLOAD, "", "Перегрузка по четвертой ПЧ")                                        \
    TEXT(MI_IF5_OVERLOAD, "", "Перегрузка по пятой ПЧ")                                            \
    TEXT(MIAPI_XML_EMPTY_VALUE, "", "Пустое значение в файле XML")                                 \
    TEXT(MI_UNREACH_POWER, "", "Заданный уровень мощности недостижим")                             \
    TEXT(MI_BREAK_FLOW_LOGICAL, "", "Поток данных прерван по логическому условию")                 \
    TEXT(MI_NOT_CORRECT_MEASUREMENT, "", "Результат измерения может быть недостоверным")           \
    TEXT(MI_NOT_ENOUGH_RESOLUTION, "", "Недостаточное разрешение")                                 \
    TEXT(MI_NOT_FINISH, "", "Измерение не завершено")                                              \
    TEXT(MI_EXTREF_NO_PLL_WARNING, "", "Нет захвата ФАПЧ по внешнему опорному сигналу")            \
    TEXT(MI_EXTREF_NO_POWER_WARNING, "", "Нет сигнала внешнего опорного генератора")               \
    TEXT(MI_NO_SIGNAL_WARNING, "", "Сигнал не обнаружен")                                          \
    TEXT(SE_READ_TIMEOUT, " = 20486", "Вышло время ожидания ответа от прибора")                    \
    TEXT(SE_WRITE_TIMEOUT, "", "Вышло время ожидания передачи команды в прибор")                   \
    TEXT(SE_CANT_EXTRACT_MEMORY, " = 20491", "Не удалось выделить память")                         \
    TEXT(SE_CANT_OPEN_FILE, " = 20493", "Не удалось открыть файл")                                 \
    TEXT(SE_WRITE_FILE_ERROR, " = 20496", "Ошибка записи в файл")                                  \
    TEXT(SE_READ_FILE_ERROR, "", "Ошибка чтения файла")                                            \
    TEXT(SE_UNKNOWN_ERROR, " = 20503", "Неизвестная программная ошибка")                           \
    TEXT(SE_OPERATION_CANCELED, " = 20505", "Выполнение операции прервано")                        \
    TEXT(SE_CONNECTION_LOST, "", "Связь с прибором потеряна")                                      \
    TEXT(SE_PATH_NOTFOUND, "", "Путь не найден")                                                   \
    TEXT(SE_NSUP_FILE_FORMAT, "", "Формат файла не поддерживается")                                \
    TEXT(SE_NO_DATA, "", "Данные отсутствуют")                                                     \
    TEXT(MI_CRITICAL_ERROR, " = -32768", "Прибор находится в состоянии критической ошибки")        \
    TEXT(MI_UNKNOWN_COMMAND, "", "Неизвестная команда")                                            \
    TEXT(MI_UNKNOWN_PARAMETER, "", "Неизвестный параметр команды")                                 \
    TEXT(MI_PARAMETER_INCORRECT, "",                                                               \
         "Некорректный параметр (значение параметра не поддерживается прибором)")                  \
    TEXT(MI_NO_PARAMETERS, "", "Отсутствуют параметры команды")                                    \
    TEXT(MI_SMALL_SIZE, "", "Недостаточный размер команды")                                        \
    TEXT(MI_PLD_ERROR, "", "Ошибка ПЛИС")                                                          \
    TEXT(MI_LO1_NO_PLL, "", "Нет захвата ФАПЧ первого гетеродина")                                 \
    TEXT(MI_LO2_NO_PLL, "", "Нет захвата ФАПЧ второго гетеродина")                                 \
    TEXT(MI_LO3_NO_PLL, "", "Нет захвата ФАПЧ третьего гетеродина")                                \
    TEXT(MI_SYNC_TIMEOUT, "", "Истекло время ожидания синхронизации")                              \
    TEXT(MI_SYNTH_TIMEOUT, "", "Истекло время ожидания синтезатора")                               \
    TEXT(MI_ADC_ERROR, "", "Ошибка АЦП")                                                           \
    TEXT(MI_SIZE_ERROR, "", "Неверный размер команды")                                             \
    TEXT(MI_SIGNATURE_ERROR, "", "Неверная сигнатура - сбой потока команд")                        \
    TEXT(MI_EPROM_ERROR, "", "Ошибка энергонезависимой памяти")                                    \
    TEXT(MI_EPROM_MISMATCH, "", "Содержимое энергонезависимой памяти не соответствует прибору")    \
    TEXT(MI_CALIBR_T2_ERROR, "", "Ошибка калибровочной таблицы")                                   \
    TEXT(MI_CALIBR_T2_SIZE_ERROR, "", "Неверный размер калибровочной таблицы")                     \
    TEXT(MI_LVDS_TIMEOUT, "", "Истекло время ожидания канала LVDS")                                \
    TEXT(MI_LVDS_DEVICE_ERROR, "", "Ошибка устройства на канале LVDS")                             \
    TEXT(MI_LVDS_REGISTER_ERROR, "", "Ошибка регистра устройства на канале LVDS")                  \
    TEXT(MI_ASYNC_TIMEOUT, "", "Истекло время ожидания асинхронной операции")                      \
    TEXT(MI_LOCAL_CONTROL, "", "Прибор находится в режиме местного управления")                    \
    TEXT(MI_FILE_FORMAT_ERROR, "", "Неверный формат файла")                                        \
    TEXT(MI_LVDS_DOUBLE_READ, "", "Повторное чтение по каналу LVDS")                               \
    TEXT(MI_ERROR_SYNT_MODE, "", "Неверный режим синтезатора")                                     \
    TEXT(MI_SATA_ERROR, "", "Ошибка накопителя SATA")                                              \
    SAME(MI_EXTREF_NO_PLL, "", MI_EXTREF_NO_PLL_WARNING)                                           \
    TEXT(MI_SYNTH_NO_PLL, "", "Нет захвата ФАПЧ синтезатора")                                      \
    TEXT(MI_LO4_NO_PLL, "", "Нет захвата ФАПЧ четвертого гетеродина")                              \
    TEXT(MI_LO5_NO_PLL, "", "Нет захвата ФАПЧ пятого гетеродина")                                  \
    TEXT(MI_EXTREF_NO_PLL_MEASURE, "", "Нет захвата ФАПЧ по внешнему опорному сигналу при измерении") \
    SAME(MI_EXTREF_NO_POWER, "", MI_EXTREF_NO_POWER_WARNING)                                       \
    TEXT(MI_EXTREF_NO_POWER_MEASURE, "", "Нет сигнала внешнего опорного генератора при измерении") \
    TEXT(MI_REF_GEN_FAULT, "", "Неисправность опорного генератора")                                \
    TEXT(MI_CALIBRATION_POWER_ERROR, "", "Ошибка калибровки мощности")                             \
    TEXT(MIAPI_REQUEST_FAIL, " = -32512", "Ошибка при выполнении запроса в приборе")               \
    TEXT(MIAPI_FILE_SYSTEM_ERROR, "", "Ошибка файловой системы прибора")                           \
    TEXT(MIAPI_PATH_NOTFOUND, "", "Путь в приборе не найден")                                      \
    TEXT(MIAPI_FILE_NOTFOUND, "", "Файл в приборе не найден")                                      \
    TEXT(MIAPI_READ_ERROR, "", "Ошибка чтения данных")                                             \
    TEXT(MIAPI_WRITE_ERROR, "", "Ошибка записи данных")                                            \
    TEXT(MIAPI_ACCESS_DENIED, "", "Доступ запрещен")                                               \
    TEXT(MIAPI_CRC_ERROR, "", "Ошибка контрольной суммы")                                          \
    TEXT(MIAPI_ILLEGAL_BOOTFILE, "", "Недопустимый файл загрузки")                                 \
    TEXT(MIAPI_NOT_ENOUGH_SPACE, "", "Недостаточно места для записи")                              \
    TEXT(MIAPI_NOT_ENOUGH_FILESIZE, "", "Недостаточный размер файла")                              \
    TEXT(MIAPI_FTP_TIMEOUT, "", "Истекло время ожидания FTP")                                      \
    TEXT(MIAPI_XML_NODE_NOTFOUND, "", "Узел XML не найден")                                        \
    TEXT(MIAPI_ERROR2, "", "Неизвестная ошибка 2")                                                 \
    TEXT(MIAPI_ERROR3, "", "Неизвестная ошибка 3")                                                 \
    TEXT(MIAPI_ERROR4, "", "Неизвестная ошибка 4")                                                 \
    TEXT(MIAPI_ERROR5, "", "Неизвестная ошибка 5")                                                 \
    TEXT(MI_CTRL_NOT_ENOUGH_MEMORY, "", "Недостаточно памяти")                                     \
    TEXT(MI_CTRL_WRONG_CALC_DATA, "", "Неверные данные для расчета")                               \
    TEXT(MI_CTRL_RESET_LOAD_DEVICE, "", "Требуется перезагрузка устройства")                       \
    TEXT(MI_CTRL_WRONG_FREQ_DIVIDER, "", "Неверный коэффициент деления частоты")                   \
    TEXT(MI_CTRL_REQUEST_TIMEOUT, "", "Истекло время ожидания запроса")                            \
    TEXT(MI_CTRL_TIME_NOT_OUT, "", "Время ожидания еще не истекло")                                \
    TEXT(MI_CTRL_WRONG_FREQ, "", "Неверная частота")                                               \
    TEXT(MI_CTRL_WRONG_SOURCE_DATA, "", "Неверные исходные данные")                                \
    TEXT(MI_CTRL_CLASS_USING_ERROR, "", "Ошибка использования класса управления")                  \
    TEXT(MI_CTRL_WRONG_STAGE, "", "Неверный этап выполнения")                                      \
    TEXT(MI_CTRL_WRONG_ARGUMENT, "", "Неверный аргумент")                                          \
    SAME(MI_CTRL_ERROR2, "", MIAPI_ERROR2)                                                         \
    SAME(MI_CTRL_ERROR3, "", MIAPI_ERROR3)                                                         \
    SAME(MI_CTRL_ERROR4, "", MIAPI_ERROR4)                                                         \
    SAME(MI_CTRL_ERROR5, "", MIAPI_ERROR5)                                                         \
    TEXT(MI_CTRL_ERROR6, "", "Неизвестная ошибка 6")                                               \
    TEXT(MI_CTRL_ERROR7, "", "Неизвестная ошибка 7")                                               \
    TEXT(MI_CTRL_ERROR8, "", "Неизвестная ошибка 8")                                               \
    TEXT(MI_CTRL_ERROR9, "", "Неизвестная ошибка 9")                                               \
    TEXT(MI_CTRL_ERROR10, "", "Неизвестная ошибка 10")                                             \
    TEXT(MI_M3M_USER_CHANGES, "", "Пользователем изменены параметры измерителя")
// clang-format on

namespace {
#define SK_DEFINE_TEXT(id, number, utf8) TRELVAN_CP1251(kText_##id, utf8);
#define SK_NO_TEXT(id, number, other)
SK_PARAMETER_ROWS(SK_DEFINE_TEXT)
SK_ERROR_ROWS(SK_DEFINE_TEXT, SK_NO_TEXT)
}  // namespace

#define SK_NAME(id, number, text) #id number,
#define SK_TEXT_OF(id, number, utf8) kText_##id.bytes,
#define SK_SHARED_TEXT(id, number, other) kText_##other.bytes,

const char* const ParameterNames[kSkParameterCount] = {SK_PARAMETER_ROWS(SK_NAME)};
const char* const ParameterDescriptions[kSkParameterCount] = {SK_PARAMETER_ROWS(SK_TEXT_OF)};
const char* const ErrorNames[kSkErrorCount] = {SK_ERROR_ROWS(SK_NAME, SK_NAME)};
const char* const ErrorStrings[kSkErrorCount] = {SK_ERROR_ROWS(SK_TEXT_OF, SK_SHARED_TEXT)};

// A short row list would otherwise leave null entries at the end of a table.
#define SK_ONE(id, number, text) +1
static_assert(0 SK_PARAMETER_ROWS(SK_ONE) == kSkParameterCount, "parameter table size");
static_assert(0 SK_ERROR_ROWS(SK_ONE, SK_ONE) == kSkErrorCount, "status code table size");

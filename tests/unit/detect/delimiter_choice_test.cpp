#include "../../../src/survey/detect/delimiter_choice.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct delimiter_case {
    const char* name;
    const char* text;
    const char* expected; // delimiter, quote or -, fields; "none"
};

std::string describe(const delimiter_choice& choice)
{
    if (!choice.choice)
        return "none";
    const delimiter_quote& pair = choice.choice->value;
    std::string text(1, static_cast<char>(pair.delimiter));
    text += pair.quote ? std::string(1, static_cast<char>(*pair.quote)) : "-";
    return text + std::to_string(pair.fields);
}

// Two SWIFT MT940 statements: a block header line, field tags between
// colons, continuation lines with colons of their own, the block's end.
const char* swift_statements()
{
    static std::string text;
    for (std::string n : {"0", "1"}) {
        if (text.size() > 0 && n == "0")
            break;
        text += "{1:F01BANKNL2AXXX0000000000}{2:I940BANKNL2AXXXXN3020}{4:\n:20:REF" + n +
                "\n:25:123456789\n:28C:" + n +
                "/1\n:60F:C240101EUR100,\n:61:2401010101C50,NTRF//X" + n + "\n:86:INVOICE 1" + n +
                ", 2" + n + "\nREK: NL65BANK0" + n + "/NAAM: SHOP" + n +
                "\n:61:2401010101D20,NTRF 10:05//Y" + n + "\n:86:ORDER" + n + " ID: 26" + n +
                " ONLINE\nREK: NL84BANK0" + n + "/NAAM: STORE" + n + "\n:62F:C240102EUR130,\n-}\n";
    }
    return text.c_str();
}

class DelimiterChoice : public testing::TestWithParam<delimiter_case>
{
};

// Key sequences and their strings, one string a quote escaped by a
// backslash: that quote would join every line after it.
std::string escaped_quote_table()
{
    std::string text;
    for (int line = 0; line < 100; line++)
        text += line == 2 ? "<k> <q>\t: \"\\\"\"\tquotedbl\n"
                          : "<k> <" + std::to_string(line) + ">\t: \"x\"\tname\n";
    return text;
}

TEST(DelimiterChoice, PassesOverAQuoteThatJoinsEveryLine)
{
    EXPECT_EQ(describe(choose_delimiter_and_quote(line_views(escaped_quote_table()))), "\t-3");
}

TEST_P(DelimiterChoice, Chooses)
{
    EXPECT_EQ(describe(choose_delimiter_and_quote(line_views(GetParam().text))),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DelimiterChoice,
    testing::Values(
        delimiter_case{"commas", "a,1,x\nb,2,y\nc,3,z\n", ",-3"},
        // Blocks of a scene graph: the points inside split alike at blanks,
        // but they are records spanning lines, not fields.
        delimiter_case{"nested_blocks",
                       "Shape {\n  Coordinate { point [\n    0.0 0.5 -0.25,\n    0.1 1.5 -1.25,\n"
                       "    0.2 2.5 -2.25,\n  ] }\n}\nShape {\n  Coordinate { point [\n"
                       "    1.0 0.5 -0.25,\n    1.1 1.5 -1.25,\n    1.2 2.5 -2.25,\n  ] }\n}\n",
                       "none"},
        // One block the length of the file, opened at its line's end: a C
        // array's values part at commas, but inside a program's block.
        delimiter_case{"one_block_of_a_program",
                       "#define w 8\nstatic char bits[] = {\n   0x00, 0x01, 0x02, 0x03,\n"
                       "   0x04, 0x05, 0x06, 0x07,\n   0x08, 0x09, 0x0a, 0x0b,\n"
                       "   0x0c, 0x0d, 0x0e, 0x0f};\n",
                       "none"},
        // A bracket left open in a value and closed rows later is no block,
        // even where both stand at their lines' ends: the text is a table
        // around them, not inside them.
        delimiter_case{"bracket_open_in_a_value", "a,1,(x\nb,2,y\nc,3,z)\nd,4,w\ne,5,v\n", ",-3"},
        delimiter_case{"bracket_open_at_a_rows_end",
                       "a,1,x (\nb,2,y\nc,3,z)\nd,4,w\ne,5,v\nf,6,u\n", ",-3"},
        // Nor is a stretch of rows that such brackets hold nearly whole:
        // a block's lines are set in, a table's are not.
        delimiter_case{"bracket_around_unindented_rows",
                       "h,1,x (\nb,2,y\nc,3,z\nd,4,w\ne,5,v\nf,6,u)\n", ",-3"},
        // Labelled values (LTSV): the label's mark stands once in every
        // field, inside it; the tab parts the fields.
        delimiter_case{"labelled_values",
                       "date:2024-01-01\tname:New Year\ndate:2024-05-01\tname:Labour Day\n"
                       "date:2024-12-25\tname:Christmas\n",
                       "\t-2"},
        // A name with a comma in the middle field: each comma-piece holds a
        // ';' after a word, but those words change from row to row and
        // label nothing.
        delimiter_case{"names_in_the_middle_field",
                       "u1;Smith,Anna;Berlin\nu2;Jones,Bo;Paris\nu3;Lee,Cy;Rome\nu4;Diaz,Di;Oslo\n",
                       ";-3"},
        // A SWIFT statement's field tags between colons open most lines;
        // the rest continue a field. The colons mark tags, not fields.
        delimiter_case{"field_tags_between_colons", swift_statements(), "none"},
        // Labels with colons over lines with none: a byte that more than a
        // quarter of the records lack delimits none of them.
        delimiter_case{"colons_that_many_lines_lack",
                       "name0:value0\nname1:value1\nname2:value2\nname3:value3\nname4:"
                       "value4\nname5:value5\nname6:value6\nname7:value7\nname8:value8\nname9:"
                       "value9\nname10:value10\nname11:value11\na0:b0:c0\na1:b1:c1\nplain words "
                       "here \nplain words here x \nplain words here x x \nplain words here "
                       "\nplain words here x \nplain words here x x \n",
                       "none"},
        // A gettext catalogue: keyword lines and their strings, entries
        // spanning lines; the blank after each keyword delimits nothing.
        delimiter_case{"message_catalogue",
                       "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                       "#: src/main.c:12\nmsgid \"Open file\"\nmsgstr \"Datei öffnen\"\n\n"
                       "#: src/main.c:40\nmsgid \"Save as\"\nmsgstr \"Speichern unter\"\n\n"
                       "msgid \"Quit\"\nmsgstr \"Beenden\"\n",
                       "none"},
        // Inch marks inside brackets in unquoted tabbed rows quote nothing,
        // so they hide no bracket that closes.
        delimiter_case{"inch_marks_in_brackets",
                       "sku\tname\tprice\nA0\tMonitor "
                       "(27\")\t100\nA1\tCable\t1\nA2\tCable\t2\nA3\tCable\t3\nA4\tMonitor "
                       "(27\")\t104\nA5\tCable\t5\nA6\tCable\t6\nA7\tCable\t7\nA8\tMonitor "
                       "(27\")\t108\nA9\tCable\t9\nA10\tCable\t10\nA11\tCable\t11\nA12\tMonitor "
                       "(27\")\t112\nA13\tCable\t13\nA14\tCable\t14\nA15\tCable\t15\nA16\tMonitor "
                       "(27\")\t116\nA17\tCable\t17\nA18\tCable\t18\nA19\tCable\t19\nA20\tMonitor "
                       "(27\")\t120\nA21\tCable\t21\nA22\tCable\t22\nA23\tCable\t23\nA24\tMonitor "
                       "(27\")\t124\nA25\tCable\t25\nA26\tCable\t26\nA27\tCable\t27\nA28\tMonitor "
                       "(27\")\t128\nA29\tCable\t29\nA30\tCable\t30\nA31\tCable\t31\nA32\tMonitor "
                       "(27\")\t132\nA33\tCable\t33\nA34\tCable\t34\nA35\tCable\t35\nA36\tMonitor "
                       "(27\")\t136\nA37\tCable\t37\nA38\tCable\t38\nA39\tCable\t39\n",
                       "\t-3"},
        // Section lines between the rows of a report: a table of several
        // columns keeps its delimiter over lines of another kind.
        delimiter_case{
            "rows_under_section_lines",
            "id,item,qty,price\nDepartment 0\n01,bolt,3,0.05\n02,nut,7,1.00\nDepartment "
            "1\n11,bolt,4,0.15\n12,nut,8,1.10\nDepartment "
            "2\n21,bolt,5,0.25\n22,nut,9,1.20\nDepartment "
            "3\n31,bolt,6,0.35\n32,nut,10,1.30\nDepartment "
            "4\n41,bolt,7,0.45\n42,nut,11,1.40\nDepartment "
            "5\n51,bolt,8,0.55\n52,nut,12,1.50\nDepartment "
            "6\n61,bolt,9,0.65\n62,nut,13,1.60\nDepartment 7\n71,bolt,10,0.75\n72,nut,14,1.70\n",
            ",-4"},
        // Tabs on both sides of each semicolon pad it.
        delimiter_case{"tabs_around_semicolons",
                       "metre\t;\tlength\t;\t1\ngram\t;\tmass\t;\t0.001\n"
                       "second\t;\ttime\t;\t1\nkelvin\t;\ttemperature\t;\t1\n",
                       ";-3"},
        // A bracket opened in one row's value and closed rows later.
        delimiter_case{"bracket_across_rows",
                       "n,a,note\nx1,3,ok\nx2,6,(see\nx3,9,ok\nx4,1,ok\nx5,2,below)\nx6,4,ok\n",
                       ",-3"},
        delimiter_case{"semicolons_over_decimal_commas", "1;10,50;x\n2;7,25;y\n3;100,00;z\n",
                       ";-3"},
        delimiter_case{"quoted_commas", "\"a,b\",1\n\"c\",2\n\"d,e\",3\n", ",\"2"},
        // Tab-separated values quoted where they hold a tab: the quote opens
        // after a tab and closes before one.
        delimiter_case{"quoted_tabs", "1\t\"a\tb\"\t2\n3\t\"c\td\"\t4\n5\t\"e\tf\"\t6\n", "\t\"3"},
        delimiter_case{"quoted_line_ends", "\"multi\nline\",1\n\"a\",2\n\"b\",3\n", ",\"2"},
        delimiter_case{"apostrophes_in_words", "it's,1\nthey're,2\nwe'd,3\n", ",-2"},
        delimiter_case{"single_quotes", "'a,b',1\n'c,d',2\n'e,f',3\n", ",'2"},
        // Single quotes must open and close twice as many fields as double
        // ones to win over them.
        delimiter_case{"double_quotes_over_single", "\"a,b\",'c'\n\"d,e\",'f'\n\"g,h\",'i'\n",
                       ",\"2"},
        // The comma splits the header row too; the blanks and colons of the
        // times leave it apart.
        delimiter_case{"comma_over_blanks_in_times",
                       "time,n\n1/1 01:00,2\n1/1 02:00,3\n1/1 03:00,1\n1/1 04:00,4\n"
                       "1/1 05:00,2\n1/1 06:00,5\n1/1 07:00,1\n1/1 08:00,3\n1/1 09:00,2\n"
                       "1/1 10:00,6\n",
                       ",-2"},
        // Tabs between numbers separate them; the blanks inside the
        // titles' values do not.
        delimiter_case{"tabs_between_numbers",
                       "Kit name\tPanel v1\n1\t10.0\t0.5\t0.5\n2\t11.0\t0.5\t0.5\n"
                       "3\t12.0\t0.5\t0.5\n4\t13.0\t0.5\t0.5\nMarker name\tD3\n"
                       "5\t14.0\t0.5\t0.5\n6\t15.0\t0.5\t0.5\n7\t16.0\t0.5\t0.5\n",
                       "\t-4"},
        // A '#' after the values opens a comment (services(5)); tabs, in
        // runs, separate the fields.
        delimiter_case{
            "comments_behind_the_values",
            "kerberos4\t750/udp\t\tkerberos-iv kdc\t# Kerberos (server)\n"
            "kerberos4\t750/tcp\t\tkerberos-iv kdc\n"
            "kerberos-master\t751/udp\t\tkerberos_master\t# Kerberos authentication\n"
            "kerberos-master\t751/tcp\n"
            "passwd-server\t752/udp\t\tpasswd_server\t# Kerberos passwd server\n"
            "krb-prop\t754/tcp\t\tkrb_prop krb5_prop hprop # Kerberos slave propagation\n"
            "zephyr-srv\t2102/udp\t\t\t# Zephyr server\n"
            "zephyr-clt\t2103/udp\t\t\t# Zephyr serv-hm connection\n"
            "zephyr-hm\t2104/udp\t\t\t# Zephyr hostmanager\n"
            "iprop\t\t2121/tcp\t\t\t# incremental propagation\n"
            "supfilesrv\t871/tcp\t\t\t# Software Upgrade Protocol server\n"
            "supfiledbg\t1127/tcp\t\t# Software Upgrade Protocol debugging\n"
            "poppassd\t106/tcp\t\t\t\t# Eudora\n"
            "moira-db\t775/tcp\t\tmoira_db\t# Moira database\n"
            "moira-update\t777/tcp\t\tmoira_update\t# Moira update protocol\n"
            "moira-ureg\t779/udp\t\tmoira_ureg\t# Moira user registration\n"
            "spamd\t\t783/tcp\t\t\t\t# spamassassin daemon\n"
            "skkserv\t\t1178/tcp\t\t\t# skk jisho server port\n"
            "predict\t\t1210/udp\t\t\t# predict -- satellite tracking\n"
            "rmtcfg\t\t1236/tcp\t\t\t# Gracilis Packeten remote config server\n",
            "\t-5"},
        // A bar between a date's year and a value is no mark inside a
        // number: it separates them, the blanks being inside the dates.
        delimiter_case{"bars_after_dates",
                       "10 Feb 2005|43.78\n11 Feb 2005|43.79\n14 Feb 2005|43.72\n"
                       "15 Feb 2005|43.76\n",
                       "|-2"},
        // A comma and a blank after it: the comma closes each blank-split
        // field it stands in, it is not inside a value.
        delimiter_case{"commas_then_blanks",
                       "seed, 0xdeadbeaf\n0, 0xc816921f\n1, 0xb3623c6d\n2, 0x5fa391bb\n", ",-2"},
        delimiter_case{"pipes", "a|1|x\nb|2|y\nc|3|z\n", "|-3"},
        // A colon that opens every record marks it and separates nothing.
        delimiter_case{"leading_marks", ":20:A1\n:25:B22\n:28C:C3\n:61:D44\n", "none"},
        // Semicolons stand only in the last tab-separated field; tabs stand
        // in two of the semicolons' fields.
        delimiter_case{"semicolons_inside_the_last_field",
                       "a\t1\tk=1; m=2;\t\nb\t2\tk=3; m=4;\nc\t3\tk=5; m=6;\t\n", "\t-4"},
        // Commas list a lineage in the last tab-separated field; the tabs
        // stand in the commas' first field, but they make no list there.
        delimiter_case{"lineage_listed_in_the_last_field",
                       "d1a\t1a\tA:\t14984\tcl=1,cf=2,sf=3,fa=4,dm=5,sp=6\n"
                       "d1b\t1b\tB:\t14985\tcl=1,cf=2,sf=3,fa=4,dm=5,sp=7\n"
                       "d2a\t2a\tA:\t14986\tcl=1,cf=2,sf=8,fa=9,dm=5,sp=7\n",
                       "\t-5"},
        // Prose wrapped before its sentences end splits at its commas
        // no more than prose whose lines end them.
        delimiter_case{"prose_wrapped_before_sentences_end",
                       "The wind rose, and the sea grew dark over\n"
                       "the harbour where the boats lay, waiting for\n"
                       "the morning light to come, and the fog to\n"
                       "lift from the water, as it did every day\n"
                       "of the year when the tide was out, and the\n"
                       "gulls cried over the stones, hungry and loud.\n",
                       "none"},
        // Names of two words, and some of three in the last field: the
        // blank parts words, not a list in its last field.
        delimiter_case{"names_of_two_words",
                       "CG And;0.10;-;40.5;3.6;-\ntau Phe;0.11;+;41.5;4.6;-\n"
                       "iot Cet;0.12;-;42.5;5.6;Deneb Kaitos\ntet Oct;0.13;+;43.5;6.6;-\n"
                       "29 Psc;0.14;-;44.5;7.6;-\n30 Psc;0.15;+;45.5;3.6;-\n"
                       "alf And;0.16;-;46.5;4.6;-\nbet Cas;0.17;+;47.5;5.6;-\n"
                       "gam Peg;0.18;-;48.5;6.6;-\nchi Peg;0.19;+;49.5;7.6;-\n"
                       "eps Phe;0.20;-;50.5;3.6;-\nkap Cas;0.21;+;51.5;4.6;-\n",
                       ";-6"},
        // Tabs split the records as blanks do, which split the title line
        // alike as well.
        delimiter_case{"tabs_over_blanks",
                       "t name=a desc=b\nx1\t10\ty\nx2\t20\tz\nx3\t30\tw\nx4\t40\tv\n", "\t-3"},
        delimiter_case{"statements_end_with_semicolons", "go;\nrun;\nstop;\n", "none"},
        delimiter_case{"prose", "The fox ran.\nIt was quick, and\nbrown.\n", "none"},
        // Messages of words, each ended by ';', one or two a line.
        delimiter_case{"messages_ended_by_semicolons",
                       "100 pit2 72; amp2 80;\n100 pit3 57; amp3 90;\n300 pit8 40 1000;\n"
                       "300 pit4 89 1000;\n300 pit7 95 1000;\namp1 0 1500;\n",
                       "none"},
        // Every line holds nearly as many words, but most end a clause
        // before the next word.
        delimiter_case{"wrapped_prose",
                       "Lorem ipsum dolor sit amet, consectetur elit. Sed at\n"
                       "ante. Mauris eleifend quam a vulputate dictum massa\n"
                       "leo, eget vulputate, orci purus, ut lorem. In fringilla\n"
                       "odio tempus ac. Aliquam molestie varius ac tellus\n",
                       "none"},
        // The same in Russian, in UTF-8.
        delimiter_case{
            "wrapped_prose_in_cyrillic",
            "\xD0\x9C\xD1\x8B \xD0\xBF\xD1\x80\xD0\xB8\xD1\x88\xD0\xBB\xD0\xB8 "
            "\xD0\xB4\xD0\xBE\xD0\xBC\xD0\xBE\xD0\xB9, \xD1\x81\xD0\xB5\xD0\xBB\xD0\xB8 "
            "\xD1\x83\xD0\xB6\xD0\xB8\xD0\xBD\xD0\xB0\xD1\x82\xD1\x8C\n"
            "\xD0\xB2\xD0\xB5\xD1\x87\xD0\xB5\xD1\x80\xD0\xBE\xD0\xBC. "
            "\xD0\x9F\xD0\xBE\xD1\x82\xD0\xBE\xD0\xBC \xD0\xBE\xD0\xBD\xD0\xB0 "
            "\xD1\x87\xD0\xB8\xD1\x82\xD0\xB0\xD0\xBB\xD0\xB0 "
            "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD1\x83\n"
            "\xD0\xB2\xD1\x81\xD0\xBB\xD1\x83\xD1\x85, \xD0\xB8 \xD0\xBC\xD1\x8B "
            "\xD1\x81\xD0\xBB\xD1\x83\xD1\x88\xD0\xB0\xD0\xBB\xD0\xB8 \xD0\xB5\xD1\x91\n"
            "\xD0\xB4\xD0\xBE\xD0\xBB\xD0\xB3\xD0\xBE. \xD0\xA3\xD1\x82\xD1\x80\xD0\xBE "
            "\xD0\xB1\xD1\x8B\xD0\xBB\xD0\xBE \xD1\x82\xD0\xB8\xD1\x85\xD0\xB8\xD0\xBC\n",
            "none"},
        // A web server's log: the clause inside the quoted browser name
        // is one field's text, and blanks separate the fields.
        delimiter_case{
            "clauses_inside_quotes",
            "a - - [10/Oct/2020:13:55:01 +0000] \"GET / HTTP/1.1\" 200 \"(KHTML, like Gecko)\"\n"
            "b - - [10/Oct/2020:13:55:02 +0000] \"GET /a HTTP/1.1\" 404 \"(KHTML, like Gecko)\"\n"
            "c - - [10/Oct/2020:13:55:03 +0000] \"GET /b HTTP/1.1\" 200 \"(KHTML, like Gecko)\"\n",
            " \"8"},
        // Messages centred in a padded field: no blank lines up inside them.
        delimiter_case{"padded_messages",
                       " GAME OVER  \n  TOO LATE  \n BONUS SIZE \nEXTRA  LIFE \n"
                       " NEXT ROUND \n  FIRE BALL \n BIG  PADDLE\n  WELL DONE \n",
                       "none"},
        // Padded to one length, but the columns keep a gutter.
        delimiter_case{"padded_columns",
                       "a1  10\nb22 20\nc3  30\nd44 40\ne5  50\nf66 60\ng7  70\nh88 80\n", " -2"},
        delimiter_case{"one_record", "a,b,c\n", "none"},
        // ISO-2022-JP: the escapes' '$' and '(' and the double-byte
        // characters' halves ('0,' and '0|' here) split nothing; the
        // commas outside them do.
        delimiter_case{"iso_2022_escapes_and_characters",
                       "\x1b$B0,\x1b(B\n\x1b$B0|\x1b(B\n\x1b$B0!\x1b(B\n\x1b$B0,\x1b(B\n", "none"},
        delimiter_case{"commas_around_iso_2022_text",
                       "1,\x1b$B0,\x1b(B,x\n2,\x1b$B0|\x1b(B,y\n3,\x1b$B0!\x1b(B,z\n", ",-3"},
        // '_' joins the words of the names; the tabs split the records,
        // however many optional fields end them.
        delimiter_case{"tabs_over_underscores_in_names",
                       "r_1_a\t1\tchr_1\tNM:i:2\nr_2_b\t2\tchr_1\tNM:i:2\tXS:A:+\n"
                       "r_3_c\t3\tchr_1\tNM:i:0\nr_4_d\t4\tchr_1\tNM:i:1\tXS:A:-\n"
                       "r_5_e\t5\tchr_1\tNM:i:3\n",
                       "\t-4"},
        // A row of names that only the commas split: the bars are a list
        // inside the first column's values.
        delimiter_case{"names_row_over_bars_in_values",
                       "name,year,place\nA/Oslo/1|K1|05/28|NO,2013.4,Oslo\n"
                       "A/Bergen/2|K2|11/01|NO,2012.8,Bergen\nA/Molde/3|K3|01/02|NO,2014.1,Molde\n",
                       ",-3"},
        // LIBSVM's index:value pairs, the values signed: the colons stand
        // inside numbers' pairs, the blanks between them.
        delimiter_case{"blanks_between_signed_pairs",
                       "+1 1:0.7 2:-1 3:1\n-1 1:0.5 2:-0.3 3:1\n+1 1:0.1 2:1 3:-0.3\n"
                       "-1 1:-0.2 2:-1 3:0.4\n",
                       " -4"},
        // Commas that lead an indented list's lines after the indent
        // join the list, not fields.
        delimiter_case{"commas_leading_indented_lines",
                       "CREATE TABLE games (\n    game_id INTEGER NOT NULL\n"
                       "   ,match_id INTEGER REFERENCES matches (match_id)\n"
                       "   ,player0_id INTEGER NOT NULL DEFAULT 0\n   ,player1_id INTEGER\n"
                       "   ,result SMALLINT CHECK (result >= 0)\n   ,played DATE\n"
                       "   ,PRIMARY KEY (game_id)\n);\n",
                       "none"},
        // Commas between an array's items or a tree's children, all
        // inside their brackets.
        delimiter_case{"commas_inside_brackets", "[1,2,3]\n[4,5,6]\n[7,(8,9)]\n[1,3,5]\n", "none"},
        // Prose in sentences punctuates its clauses with commas.
        delimiter_case{"commas_of_sentences",
                       "Slowly, the river runs.\nNo smoke, no fire.\nAsk twice, cut once.\n"
                       "Early birds, like worms.\n",
                       "none"},
        // Statements that a ';' ends hold arguments, not fields.
        delimiter_case{"commas_inside_statements",
                       "load A, \"a.wav\", 1;\nload B, \"b.wav\", 2;\nload C, \"c.wav\", 3;\n"
                       "load D, \"d.wav\", 4;\n",
                       "none"},
        // A device's commands: a few words of varying count, verbs that
        // recur, no column of numbers.
        delimiter_case{"words_of_commands",
                       "LT 1\nLT 2\nBLT 1 00:20:00 CLEAR\nECHO off\nMON ON\nDIGI on\n"
                       "HID off\nFLOW off\nMCOM off\nBLT 3 00:00:00\n",
                       "none"},
        // Settings whose colon parts each key from its value, and a
        // message line holding more colons.
        delimiter_case{"keys_of_settings",
                       "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\nSECURITY:NONE\n"
                       "ENCODING:USASCII\nCHARSET:1252\nCOMPRESSION:NONE\nOLDFILEUID:NONE\n"
                       "<OFX><DTSERVER>20140112[-7:MST]<MSG>Login: ok</OFX>\n",
                       "none"},
        // Named settings, each once, their values numbers, names and paths
        // mixed: a configuration. A name before values of one kind is a
        // table's key column.
        delimiter_case{"named_settings",
                       "MAIL_DIR /var/mail\nPASS_MAX_DAYS 99999\nUMASK 022\n"
                       "ENCRYPT_METHOD SHA512\nLOG_OK_LOGINS no\nENV_PATH PATH=/usr/bin:/bin\n",
                       "none"},
        delimiter_case{"names_and_counts",
                       "alpha 12\nbravo 7\ncharlie 1933\ndelta 44\necho 5\nfoxtrot 260\n",
                       " -2"},
        // Counts some of which are missing, and words in another script.
        delimiter_case{"names_and_counts_missing",
                       "apple 42446\nbanana NA\ncherry 19773\ndamson 51751\nelder 85320\n"
                       "fig NA\ngrape 7\nhazel 12\n",
                       " -2"},
        delimiter_case{"words_and_their_translations",
                       "house Haus\nstreet Stra\xc3\x9f" "e\ngreen gr\xc3\xbcn\ncat Katze\n"
                       "door T\xc3\xbcr\nbird Vogel\n",
                       " -2"},
        // A tab that leads each line and parts it again: an empty first
        // field, the blanks inside the values.
        delimiter_case{"tab_before_an_empty_first_field",
                       "\t17-Mar-1998 14:38:23\t41 52 50.8\t-7 43 11.4\n"
                       "\t17-Mar-1998 14:39:42\t41 52 52.0\t-7 43 10.9\n"
                       "\t17-Mar-1998 14:39:50\t41 52 51.5\t-7 43 08.3\n"
                       "\t17-Mar-1998 14:39:55\t41 52 51.4\t-7 43 07.9\n",
                       "\t-4"},
        // Stanzas of a few fields named over and over, each a line: keys
        // and values, no columns.
        delimiter_case{"stanza_fields",
                       "Task: amharic-desktop\nSection: l10n\nTest-lang: am\n\nTask: arabic\n"
                       "Section: server\nTest-lang: ar-EG\n\nTask: basque\nSection: web\n"
                       "Test-lang: eu\n\nTask: belarusian-kde\nSection: l10n-extra\n"
                       "Test-lang: be-BY\n\nTask: bosnian\nSection: desktop\nTest-lang: bs\n",
                       "none"},
        // Codes whose parts may be empty (WordNet's sense keys) in the
        // first of blank-parted columns: the colons part the code.
        delimiter_case{"colons_inside_a_code",
                       "'hood%1:15:00:: 08641944 1 0\n'tween%4:02:00:: 00250898 1 0\n"
                       "abbey%1:06:00:: 02666882 1 0\nabbot%1:18:00:: 09759069 1 0\n"
                       "abdomen%1:08:00:: 05556943 1 0\nabele%1:20:00:: 12741792 1 0\n",
                       " -4"},
        // An alignment's match line of bars in runs, one blank-parted
        // column among the others.
        delimiter_case{"bars_of_an_alignment",
                       "r1 12 + ACGTACGTACGT |||||||||*|| ACGTACGTAAGT\n"
                       "r2 12 - TTGCAATTGCAA ||||||||||*| TTGCAATTGCTA\n"
                       "r3 12 + GGATCCGGATCC |*|||||||||| GCATCCGGATCC\n",
                       " -6"},
        // An export's empty values, and a last column of two words: the
        // commas still part the columns.
        delimiter_case{"sparse_export_with_names",
                       "0,1,,,San Diego\n1,,2,,Los Angeles\n2,3,,,San Jose\n3,,,4,Santa Fe\n"
                       "4,5,,,El Paso\n",
                       ",-5"},
        // A few categories over and over without stanzas: a table's column.
        delimiter_case{"categories_and_items",
                       "fruit:apple\nveg:carrot\nfruit:pear\nveg:leek\nfruit:fig\nveg:kale\n"
                       "fruit:plum\nveg:bean\nfruit:lime\nveg:okra\nfruit:kiwi\n",
                       ":-2"},
        // Blanks around an assignment's sign part names from values.
        delimiter_case{"assignments",
                       "[CHANNEL]\n\tFREQUENCY = 474000000\n\tBANDWIDTH_HZ = 8000000\n"
                       "\tMODULATION = QAM/AUTO\n\tINVERSION = AUTO\n\tSTREAM_ID = 1\n",
                       "none"},
        // Elements of markup, each a line: brackets part no fields.
        delimiter_case{"markup_elements",
                       "<?xml version=\"1.0\" ?>\n<TABLE>\n   <GRADES>\n"
                       "      <STUDENT> Fred </STUDENT>\n      <TEST1> 66 </TEST1>\n"
                       "      <TEST2> 80 </TEST2>\n      <FINAL> 70 </FINAL>\n   </GRADES>\n"
                       "   <GRADES>\n      <STUDENT> Wilma </STUDENT>\n      <TEST1> 97 </TEST1>\n"
                       "      <TEST2> 91 </TEST2>\n      <FINAL> 98 </FINAL>\n   </GRADES>\n"
                       "</TABLE>\n",
                       "none"},
        // Settings with remarks behind a '*', and remark lines alone.
        delimiter_case{"settings_with_remarks",
                       "  seqfile = stewart.aa * sequence data\n  outfile = mlc   * results\n"
                       "    noisy = 9  * 0,1,2,3,9: how much on the screen\n"
                       "  runmode = 0  * 0: user tree;  1: semi-automatic\n"
                       "           * 3: stepwise addition; -2: pairwise\n"
                       "  seqtype = 2  * 1: codons; 2: AAs\n"
                       "            * models for codons\n    model = 2\n",
                       "none"},
        // A script's assignments, whose '=' stands between blanks.
        delimiter_case{"assignments_of_a_script",
                       "x = 1 + y\n$a = ~4.35 # cubic\nF = %a + %b\n%z = f(center=$c, h=~0.2)\n"
                       "$b = 360/pi * $a\n",
                       "none"},
        // Glyphs' coordinates as letters, whose '_' joins them where no
        // usual delimiter splits the lines: a mark, not a delimiter.
        delimiter_case{"word_joining_mark_alone",
                       "12345  6D_HYGZH[IZHY\n12345  8D_H[GZHYIZI\n"
                       "12345  8D_HOJQZ RIP RQ RZ RX\n12345 27D_MHKGK RLHL RLZXZ RLHXH RH\n"
                       "12345 40D_KGIFI[ RJGJ[\n12345  9D_KGIFIZ RA RB RC RD RE\n"
                       "12345  9D_KGIFIZ\n12345 12D_KG RA RB RC RD RE RF RG\n",
                       "none"},
        // A keymap's pairs among comments whose mark leads many lines: the
        // mark is no command's word that recurs.
        delimiter_case{"pairs_among_comments",
                       "\" Maintainer: Peter\n\" Changed: 2002 Feb 3\ny z\nzz y\nY Z\nZZ Y\n"
                       "\" Horny riadok\n` ;\n11 +\n! 1\n22 l\n@ 2\n33 s\n# 3\n44 c\n$ 4\n"
                       "55 t\n% 5\n66 z\n^ 6\n77 y\n& 7\n88 a\n* 8\n99 i\n( 9\n00 e\n) 0\n",
                       " -2"},
        // The same shape with a column of numbers is a table.
        delimiter_case{"words_over_numbers", "run 1\nrun 2 fast\nstop 3\nstop 4 now\nrun 5\n",
                       " -2"},
        // A log's times hold colons; so may its messages after the stamp.
        delimiter_case{"colons_of_times",
                       "tool 2025-06-24 14:36:53: run with --quiet --install a b 77 --slave c\n"
                       "tool 2025-06-24 14:36:53: link group pager updated\n"
                       "tool 2025-06-24 14:36:55: run with --install b c:d 50\n"
                       "tool 2025-06-24 9:05: link group pinentry updated to point to d\n",
                       "none"},
        // A program's statements, a case table among them, indented in
        // blocks; a loop's ';' inside one line parts its clauses.
        delimiter_case{"statements_of_a_program",
                       "reg clk;\ninitial\nbegin\n  key = 0;\n"
                       "  for(i=0;i<16;i=i+1) begin clk=0; end\n  case (x)\n"
                       "    6'b000000 :  so=4'h2;\n    6'b000010 :  so=4'hc;\n"
                       "    6'b000100 :  so=4'h4;\n    6'b000110 :  so=4'h1;\n"
                       "    6'b001000 :  so=4'h7;\n    6'b001010 :  so=4'ha;\n"
                       "    6'b001100 :  so=4'hb;\n    6'b001110 :  so=4'h6;\n"
                       "    6'b010000 :  so=4'h8;\n    6'b010010 :  so=4'h5;\n"
                       "  endcase\n  pt = 1;\n",
                       "none"},
        // A lone '"' between tabs is a ditto mark, a field's whole value.
        delimiter_case{"ditto_marks",
                       "a\t24\t0\t41\nb\t\"\nc\t24\t0\t42\nd\t\"\n"
                       "e\t24\t0\t43\nf\t24\t0\t44\n",
                       "\t-4"},
        // Rows as long as they need, each ended by a tab.
        delimiter_case{"ragged_tabs",
                       "label\tGroup\tn\tA\tB\tC\tD\tE\t\nx\tB\t5\t1\t2\t3\t4\t5\t\n"
                       "y\tB\t3\t1\t2\t3\t\nz\tB\t2\t7\t8\t\nw\tC\t1\t9\t\n",
                       "\t-9"},
        // Words of text in a CSV's first column, and in a name of the
        // second: the commas part the fields, not lists inside blanks' words.
        delimiter_case{"commas_after_words",
                       "placeholder,meaning of life,TLD\nLorem ipsum dolor sit,42,ABC\n"
                       "Etiam a dolor vitae est vestibulum,84,DEF\nLorem ipsum dolor sit,42,ABC\n"
                       "Etiam a dolor vitae est vestibulum,84,DEF\nLorem ipsum dolor sit,42,ABC\n"
                       "Etiam a dolor vitae est vestibulum,84,DEF\n",
                       ",-3"},
        // Codes of hex digits between colons are no times.
        delimiter_case{"colons_between_codes",
                       "0000:05B4:80:WS:0:1:S:2C:Novell 5\n0000:_MSS:80:WS:0:0:A:LT:3Com 7.2\n"
                       "4000:_MSS:FF:WS:0:0:A:28:Windows XP\n0008:_MSS:40:WS:0:0:S:28:Red Hat\n",
                       ":-9"},
        // Each row of numbers ends with the same remark, a ';' in it: the
        // blanks part ten columns, the ';' only the remark's words.
        delimiter_case{"blanks_over_a_remark_after_a_semicolon",
                       "1 1 0 0 3 Linked Mk Avail; Tr orig\n1 2 0 0 4 Linked Mk Unkno; Tr orig\n"
                       "1 3 1 2 0 Linked Mk Avail; Tr orig\n1 4 1 2 5 Linked Mk Avail; Tr orig\n",
                       " -10"},
        // One line: numbers in a list are parted by what stands between
        // them, a trailing blank or decimal commas included; a sentence or
        // a few numbers are no list.
        delimiter_case{"one_line_of_numbers", "0.0e+00 9.9e+02 1.0e+03 -9.9e+02 ", " -4"},
        delimiter_case{"one_line_of_decimal_commas", "1,5;2,25;-3;4,0;5", ";-5"},
        delimiter_case{"one_line_of_comma_numbers", "1.5, 2.5, 3, 4.25\n", ",-4"},
        delimiter_case{"one_line_of_words", "It was 1, 2, 3, 4 o'clock.", "none"},
        delimiter_case{"one_line_of_three", "1 2 3", "none"},
        // ASCII's unit separator parts exports' fields; the '=' of a region's
        // settings, as other punctuation, parts none.
        delimiter_case{"unit_separators",
                       "a\x1f"
                       "1\x1fx\nb\x1f"
                       "2\x1fy\nc\x1f"
                       "3\x1fz\n",
                       "\x1f-3"},
        delimiter_case{
            "signs_of_settings",
            "poly [[1.5deg, -3.5deg], [2.5deg, -4.5deg]] coord=ICRS, corr=[I], linewidth=1, "
            "color=green\ncircle [[2.5deg, -1.5deg], 3arcsec] coord=ICRS, corr=[I], linewidth=2, "
            "color=red\nbox [[3.5deg, -2.5deg], [4.5deg, -3.5deg]] coord=J2000, corr=[Q], "
            "linewidth=1, color=blue\npoly [[5.5deg, -6.5deg], [6.5deg, -7.5deg], [7.5deg, "
            "-8.5deg]] coord=ICRS, corr=[I], linewidth=3, color=cyan\n",
            "none"},
        // Bars in every line, however many: a word and its count of
        // meanings, each meaning's synonyms after its part of speech.
        delimiter_case{"ragged_bars",
                       "abate|1\n(s.m.)|priore|superiore|capo|abate|rettore\nabete|1\n"
                       "(s.m.)|pino\nabile|3\n(agg.)|capace|esperto|bravo|valente|pratico|perito\n"
                       "(agg.)|idoneo|adatto\n(agg.)|atto|buono|utile|acconcio|conveniente|"
                       "giusto|appropriato\nabisso|1\n(s.m.)|baratro|voragine|precipizio|burrone\n",
                       "|-2"},
        // A name, a '=' and its value, with no blanks around the sign, in a
        // section of settings: settings, not two columns.
        delimiter_case{"names_and_values",
                       "[Receiver]\nGNSS.fs_sps=4000000\nGNSS.dump=false\nSource.item=8\n"
                       "Source.freq=1575420000\nSource.gain=40.0\n",
                       "none"}),
    [](const testing::TestParamInfo<delimiter_case>& info) { return info.param.name; });

TEST(DelimiterChoice, WeighsEveryPair)
{
    delimiter_choice choice = choose_delimiter_and_quote(line_views("\"a,b\",1\n\"c\",2\n"));
    ASSERT_EQ(choice.quotes.size(), 2u);
    EXPECT_EQ(choice.quotes[0].value, '"');
    EXPECT_FALSE(choice.quotes[1].value.has_value());
    bool comma_without_quote = false;
    for (const auto& each : choice.candidates)
        comma_without_quote |= each.value.delimiter == ',' && !each.value.quote;
    EXPECT_TRUE(comma_without_quote);
}

} // namespace

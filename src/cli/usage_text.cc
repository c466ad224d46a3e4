#include "cli/usage_text.h"

#include <array>

#include "diag/reporter.h"

namespace varnel {
namespace {

constexpr std::string_view kCredit = "by the Varnel developers";

constexpr std::string_view kHint = "Type Varnel /help or Varnel /? for usage assistance.\n\n";

constexpr std::string_view kExampleDn = "       \"cn=something,ou=something,dc=example,dc=com\"\n";

constexpr auto kUsage = std::to_array<std::string_view>({
    "Usage:\n varnel [switches]\n\n",
    "  Switches: (designated by - or /)\n",
    "   -h host    Host to use, use default LDAP server\n",
    "              (host[:port], ldap://host[:port] or ldaps://host[:port]);\n",
    "              none: ldap.conf's URI, else a DC found through DNS\n",
    "   -b basedn  DN to do the work on. If basedn is not specified\n",
    "              the program will read from stdin anything piped to it\n",
    "              or if you want you can type the DNs there followed by\n",
    "              a ctrl-D to terminate the pipe.\n",
    "   -f file    Read the DN list from file instead of stdin: one DN a line,\n",
    "              or LDIF as ldapsearch writes it.\n",
    "   -elapsed   Display elapsed time in seconds\n",
    "   -elapsedms Display elapsed time in milliseconds\n",
    "   -cr MDB    Create Mailbox in MDB  - See Format Below for that value\n",
    "   -move MDB  Move Mailbox to MDB  - See Format Below for that value\n",
    "   -me x      MailEnable object. If necessary x is targetaddress.\n",
    "   -clear     Clear all email attribs.\n",
    "   -upd       Update, use on existing objects for quota and AL mods\n",
    "   -safety x  How many objects before safety kicks in. Default 10\n",
    "   -delim x   X specifies delimiter for MDB format. Default :\n",
    "   -fdelim x  X specified delimiter for file format. Default [TAB]\n",
    "   -unsafe    Don't have a safety, modify objects no matter how many.\n",
    "   -upto x    Process DNs until x successes have occurred.\n",
    "   -cont      Continue with objects even if errors.\n",
    "   -hfal      Hide from address lists.\n",
    "   -uhfal     Unhide from address lists.\n",
    "   -keepmail  When used with -me uses existing mail attribute for targetAddress.\n",
    "   -quota x:y:z Set Quota, x=Warn MB, y=Stop Send MB, z=Stop Receive MB.\n",
    "                   Use :: to set quota to system default.\n",
    "   -internetencoding   This is the encoding type for mailenabled objects.\n",
    "   -whatif    Change nothing: write each change as an LDIF record on\n",
    "              standard output, the other output as # comments.\n",
    "   -undo f    Before each change, append to file f the LDIF that undoes it\n",
    "              (ldapmodify -f f). f must be new or empty.\n",
    "   -report f  Write one JSON line per input item to file f.\n",
    "   -failed f  Write the input lines that failed or were not processed to f.\n",
    "   -window n  Requests outstanding at once (1 to 1024). Default: as many\n",
    "              as the server's answers show it takes, up to 1024.\n",
    "   -rate n    Start at most n objects a second (0, the default: no cap).\n",
    "   -q         Quiet: no banner and no progress lines.\n",
    "   -d         Debug: trace each step on standard output.\n",
    "   -v         After each LDAP error line, the server's diagnostic text.\n",
    "   -qb x      Accepted for compatibility; changes nothing.\n",
    "   -help, -?  Show this text on standard error (exit status 1);\n",
    "              --help shows it on standard output, --version the version.\n",
    "\n",
    "\n",
    "  MDB format\n",
    "       Format:  (HomeMDBURL|Server:Storage Group:DataBase)\n",
    "\n",
    "    This value can be specified either as a complete HomeMDB URL value\n",
    "    or if you don't know it or don't want to look it up you can specify\n",
    "    the server, storage group, and data base and the tool will look up\n",
    "    the proper HomeMDB URL for you. \n",
    "\n\n",
    "  Internet Encoding Format\n",
    "    Mail enabled objects can either follow the Internet Mail Service\n",
    "    settings for how mail is encoded for transfer out of the Exchange\n",
    "    system or you can specify specific values. This switch lets you\n",
    "    change that setting. The default value written to the mail enabled\n",
    "    objects is 1310720 which is 'Use Internet Mail Service' settings.\n",
    "    See KB281740 for more info on the settings, here are some alternate\n",
    "    values at the time of this writing:\n",
    "          393216 MIME with Plain Text\n",
    "          917504 MIME with HTML\n",
    "         1441792 MIME with Plain Text & HTML\n",
    "         2228224 Plain Text / uuencode\n",
    "          131072 Plain Text / uuencode with Binhex\n",
    "\n\n",
    "  Notes:\n",
    "    This tool could be considered dangerous, it can quickly make some\n",
    "    serious changes to your directory and really mess up email.\n",
    "    I take no responsibility for you dorking up your email system.\n",
    "    The safety option will bail the whole operation if there\n",
    "    are more objects to work on than specified with the -safety option.\n",
    "\n",
    "    This tool is exceptionally powerful when used in conjunction with\n",
    "    a command line LDAP query tool such as ldapsearch: its LDIF output is\n",
    "    read as it is, folded and base64 (non-ASCII) DNs included:\n",
    "       ldapsearch -LLL ... 1.1 | varnel ...\n",
    "\n",
    "    If you get an error updating an object, no modification is made\n",
    "    to the specific object.\n",
    "\n",
    "    When doing multi-DN modifications, the exit status will be set to the\n",
    "    last error encountered. So if you go through 8 DNs and hit 3 errors,\n",
    "    only the last will be passed back to you via $?. \n",
    "\n",
    "    Be very very careful of clear option. You can literally clear all mail\n",
    "    objects in your forest with that command in a relatively simple way.\n",
    "\n\n",
    "    This program has the ability to read the DN to modify from STDIN for\n",
    "    instance you could take the output from program 1 and send it into this\n",
    "    program like:\n",
    "       someprogram | varnel -move server1:sg1:db1 -upto 100\n",
    "    which would take the output from someprogram and then use that for the\n",
    "    the DN list for varnel. So for instance say I wanted to move all\n",
    "    mailboxes of users in a specific OU to another Exchange Server or another\n",
    "    database I could do so by piping an LDAP search from ldapsearch\n",
    "    into varnel...\n",
    "\n",
    "    You can also have a list of DNs in a text file and pipe in from there\n",
    "    like this:\n",
    "       varnel -move srv1:sg1:db3 < file.txt\n",
    "    In addition you can add override info to the piped in information\n",
    "    as well... Say you want to move all users except a couple of them\n",
    "    to one place you have the command above but then on the lines holding\n",
    "    DNs you wanted moved to another location you add that information.\n",
    "\n",
    "    Basically it is all in the format of the input. If you are just sending\n",
    "    in DNs the format should be:\n",
    kExampleDn,
    "    and should have the quotes around the DN. If you want to add override\n",
    "    information simply follow the DN with TAB character and a quoted string\n",
    "    with the override info like so:\n",
    kExampleDn,
    "       \"cn=something2,ou=something,dc=example,dc=com\"\n",
    "       \"cn=something3,ou=something,dc=example,dc=com\"    \"srv2:sg1:db3\"\n",
    "    which when combined with the command:\n",
    "       varnel -move srv1:sg1:db1 < file.txt\n",
    "    would result in something3 going to srv2:sg1:db3 and the other objects\n",
    "    going to srv1:sg1:db1\n",
    "\n",
    "    This override functionality works for -cr, -move, -me options.\n",
    "\n\n",
    "  Ex1:\n",
    "    varnel -b cn=user1,cn=users,dc=example,dc=com -cr srv1:sg1:db2\n",
    "      Create a mailbox for user1 in server srv1, storage group sg1, database db2.\n",
    "\n",
    "  Ex2:\n",
    "    varnel -b cn=user1,cn=users,dc=example,dc=com -move srv1:sg1:db2\n",
    "      Ditto ex1 but move.\n",
    "\n",
    "  Ex3:\n",
    "    varnel -b cn=user1,cn=users,dc=example,dc=com -move "
    "CN=DB1,CN=SG1,CN=InformationStore,CN=SRV1...\n",
    "      Ditto ex1 but move to specified URL (URL chopped short).\n",
    "\n",
    "  Ex4:\n",
    "    varnel -b cn=user1,cn=users,dc=example,dc=com -clear\n",
    "      Clear the Exchange attributes of user1, which will delete the mailbox or \n",
    "      clean email addresses of mailenabled objects.\n",
    "\n",
    "  Ex5:\n",
    "    varnel -b cn=gr1,cn=users,dc=example,dc=com -me \n",
    "      Mail Enable group gr1\n",
    "\n",
    "  Ex6:\n",
    "    varnel -b cn=con1,cn=users,dc=example,dc=com -me con1@example.net\n",
    "      Mail enable contact con1 with the address con1@example.net.\n",
    "\n",
    "  Ex8:\n",
    "    ldapsearch -LLL -E pr=1000/noprompt -b ou=new,dc=example,dc=com "
    "\"(&(objectcategory=person)(objectclass=user))\" "
    "1.1 | varnel -upto 100 -cr s1:sg1:db1\n",
    "      Mailbox enable the first 100 users of the OU called new.\n",
    "\n",
    "\n\n\n",
    " This program is provided as is, without warranty of any kind; use it at your own risk.\n",
    " Ideas, suggestions and reports of faults are welcome.\n",
    " Mail is read as time allows, so an answer may take a while.\n",
    " Contact: varnel@example.com\n\n",
});

}  // namespace

void PrintBanner(Reporter& reporter) {
  reporter.err() << "\n"
                 << kProgramName << " " << kVersionText << " " << kCredit << " " << kDateText
                 << "\n\n";
  reporter.err().flush();
}

void PrintHint(Reporter& reporter) {
  reporter.err() << kHint;
  reporter.err().flush();
}

void PrintUsage(std::ostream& out) {
  for (std::string_view item : kUsage) out << item;
  out.flush();
}

void PrintVersion(std::ostream& out) { out << "varnel " << kVersionText << std::endl; }

}  // namespace varnel

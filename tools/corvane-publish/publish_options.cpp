#include "publish_options.hpp"

#include <CLI/CLI.hpp>

#include <memory>
#include <utility>

namespace corvane::publish {
namespace {

constexpr char kDescription[] =
    "Publishes a market watch from CSV to a NATS server. Each input line is one\n"
    "instrument in the 42-column market-watch order, with RFC 4180 quoting, checked as\n"
    "corvane-feed checks it; a first line holding the column titles is skipped. Each\n"
    "record goes to <prefix>.<EXCHANGE>.<SCRIP CODE> and, with --bucket, into that\n"
    "key-value bucket under <EXCHANGE>.<SCRIP CODE>, where a desk that starts later\n"
    "finds every instrument's last record. INPUT is a file, or standard input when it\n"
    "is missing or \"-\".\n";

constexpr char kFooter[] =
    "In subjects and keys, the exchange and scrip code (without surrounding blanks)\n"
    "keep letters, digits and -_/; any other byte is written =XX (its hex code), an\n"
    "empty one \"=\". Records wait in a queue of each instrument's newest record while\n"
    "the server is slow or away; the client reconnects by itself. A summary (records\n"
    "published, ticks dropped, lines malformed, ticks replaced by a newer one of their\n"
    "instrument before they were sent) goes to standard error at the end.\n"
    "\n"
    "Exit status: 0 every line published; 1 some lines malformed (the others were\n"
    "published); 2 wrong command line or unreadable input; 5 no server answered, or it\n"
    "went away before everything was sent; 6 the server refused the credentials, the\n"
    "subjects or the bucket, or its TLS certificate was not trusted.";

std::unique_ptr<CLI::App> Declare(PublishOptions& options) {
    auto app = std::make_unique<CLI::App>(kDescription, "corvane-publish");
    app->footer(kFooter);
    app->get_formatter()->column_width(24);
    app->set_help_flag("-h,--help", "show this text");
    app->add_option("--nats", options.bus.url,
                    "server URL, or a comma-separated list of them\n(default: " +
                        std::string(bus::kDefaultUrl) + ")")
        ->type_name("URL");
    app->add_option("--prefix", options.prefix, "first subject token(s) (default: md)")
        ->type_name("PREFIX");
    app->add_option("--bucket", options.bucket,
                    "key-value bucket to keep each instrument's last record in;\n"
                    "created (history 1) when missing")
        ->type_name("NAME");
    // Spelled as corvane-feed spells them; the short names of earlier versions still work.
    const char* credentials = "Credentials";
    app->add_option("--nats-user,--user", options.bus.user, "user name, with --nats-password")
        ->type_name("NAME")
        ->group(credentials);
    app->add_option("--nats-password,--password", options.bus.password,
                    "password, with --nats-user")
        ->type_name("TEXT")
        ->group(credentials);
    app->add_option("--nats-token,--token", options.bus.token, "token credential")
        ->type_name("TEXT")
        ->group(credentials);
    app->add_option("--nats-creds,--creds", options.bus.credsFile,
                    "credentials file (user JWT and seed)")
        ->type_name("PATH")
        ->group(credentials);
    app->add_option("--nats-ca,--ca", options.bus.caFile,
                    "connect over TLS, trusting the certificate\nauthority in PATH")
        ->type_name("PATH")
        ->group(credentials);
    app->add_flag("-q,--quiet", options.quiet, "no summary and no line reports")
        ->disable_flag_override();
    app->add_option("INPUT", options.input, "CSV file (default: standard input)");
    return app;
}

Error Wrong(std::string why) { return Error(ErrorCode::Argument, std::move(why)); }

}  // namespace

Error ParseOptions(const std::vector<std::string>& args, PublishOptions& options) {
    options = PublishOptions{};
    options.bus.url = bus::kDefaultUrl;
    options.bus.name = "corvane-publish";
    const std::unique_ptr<CLI::App> app = Declare(options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return {};
    } catch (const CLI::ParseError& error) {
        return Wrong(error.what());
    }
    for (const char* name :
         {"--nats", "--prefix", "--bucket", "--user", "--password", "--token", "--creds", "--ca"}) {
        for (const std::string& value : app->get_option(name)->results()) {
            if (value.empty()) return Wrong(std::string(name) + " needs a value");
        }
    }
    if (!options.bus.password.empty() && options.bus.user.empty()) {
        return Wrong("--password goes with --user");
    }
    return {};
}

std::string HelpText() {
    PublishOptions options;
    return Declare(options)->help();
}

}  // namespace corvane::publish

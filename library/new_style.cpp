#include "library/new_style.h"

#include <utility>
#include <vector>

#include "model/settings_keys.h"
#include "model/style_factory.h"
#include "text/text.h"

namespace orlavine {

const char* const kFirstStyleTemplate =
    "/* Hey there! Thanks for buying Orlavine.\n"
    "Since it looks like this is your first custom style,\n"
    "here's a few tips to get you started.\n"
    "\n"
    "First, you need to write some CSS code for the site\n"
    "you'd like to customize. That's what this handy\n"
    "editor is for! I recommend using your browser's\n"
    "developer tools to check out the layout and stylesheet\n"
    "of the website you'd like to modify, so you can\n"
    "figure out what you need to customize.\n"
    "\n"
    "The \"Rule Editor\" button in the toolbar lets you specify\n"
    "which websites your style should apply to. You can\n"
    "specify a specific domain name, a specific URL,\n"
    "all URLs starting with a specific prefix, or even\n"
    "all URLs matching a regular expression.\n"
    "\n"
    "But what if you need to apply a different block\n"
    "of CSS code to different pages, all within a single\n"
    "\"style\"? That's where \"sections\" come in. Each\n"
    "\"section\" of your style has its own block of CSS,\n"
    "as well as its own set of rules. You can add or\n"
    "remove sections and switch between them in the\n"
    "toolbar up top.\n"
    "\n"
    "Once you're all done, you can export your style to a\n"
    "CSS file from the File menu. Then, you can\n"
    "send that file to any other Orlavine user (or even\n"
    "users of similar extensions for other browsers), and\n"
    "they can use it, too. \n"
    "\n"
    "Have fun, and make something beautiful! */";

bool canCreateStyle(std::string_view name) {
    return !text::trimmed(name).empty();
}

std::optional<std::int64_t> createNewStyle(const NewStyleForm& form,
                                           const LibraryServices& services) {
    const std::string name(text::trimmed(form.name));
    if (name.empty()) {
        return std::nullopt;
    }
    styleSection section;
    if (services.appSettings.boolValue(keys::kIsFirstStyle)) {
        section.code = kFirstStyleTemplate;
        if (const Status written = services.appSettings.set(keys::kIsFirstStyle, false); !written) {
            services.reporter.consoleLine(written.error());
        }
    }
    const std::string rule(text::trimmed(form.rule));
    if (!rule.empty()) {
        switch (form.ruleType) {
            case 1:
                section.urls.push_back(rule);
                break;
            case 2:
                section.urlPrefixes.push_back(rule);
                break;
            case 3:
                section.regexps.push_back(rule);
                break;
            default:
                section.domains.push_back(rule);
                break;
        }
    }

    styleJSON data;
    data.name = name;
    data.sections.push_back(std::move(section));
    styleContainer style = newStyle(std::move(data), "custom", -1, styleDatabase{});
    style.author = services.appSettings.stringValue(keys::kDefaultAuthor);
    style.namespace_ = services.appSettings.stringValue(keys::kDefaultNamespace);
    style.version = "1.0.0";
    style.preprocessor = form.preprocessor == 1   ? "stylus"
                         : form.preprocessor == 2 ? "less"
                                                  : "default";

    const Result<std::int64_t> id = services.store.add(std::move(style));
    if (!id) {
        return std::nullopt;
    }
    if (services.notifications != nullptr) {
        services.notifications->post(notifications::kAddToOpenStyles, {{"id", *id}});
        services.notifications->post(notifications::kAddLatestStyle);
    }
    return *id;
}

}  // namespace orlavine

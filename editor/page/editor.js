// The page side of the program's code editor control. The program drives the editor by
// evaluating short statements ("editor.setValue(...)", "editor.setTheme(...)") and learns of the
// user's edits through one message, "stringChanged", posted on the web channel object
// "callback" while `reportChanges` is true. Everything the page needs is next to it: nothing is
// loaded from the network.
/* global ace, QWebChannel, qt */
"use strict";

ace.config.set("basePath", "ace");
ace.config.set("loadWorkerFromBlob", true);

// The program asks for the keyboard handler "ace", meaning the editor's own key bindings.
ace.define("ace/keyboard/ace", [], function (require, exports) {
    exports.handler = null;
});

// Emmet is not part of this page; the program still switches it off, which is then a no-op.
ace.require("ace/config").defineOptions(ace.require("ace/editor").Editor.prototype, "editor", {
    enableEmmet: { value: false },
});

var editor = ace.edit("editor");
var Range = ace.require("ace/range").Range;
var reportChanges = true;
var callback = null;

if (typeof QWebChannel !== "undefined" && typeof qt !== "undefined") {
    new QWebChannel(qt.webChannelTransport, function (channel) {
        callback = channel.objects.callback;
        callback.postMessage("pageReady");
    });
}

editor.session.on("change", function () {
    if (reportChanges && callback) {
        callback.postMessage("stringChanged");
    }
});

// Puts the keyboard focus into the text.
function focusEditor() {
    editor.focus();
}

// Statements from the program use these.
window.Range = Range;
window.focusEditor = focusEditor;

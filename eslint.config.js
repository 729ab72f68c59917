// ESLint for the browser extension, its tests and the small Node scripts. The tools are pinned
// in tests/e2e/package-lock.json (scripts/install-deps installs them); CTest runs
// `webext_lint` and `webext_format_check` (Prettier, .prettierrc.json).
'use strict';

const path = require('node:path');

const tools = path.join(__dirname, 'tests', 'e2e', 'node_modules');
const js = require(path.join(tools, '@eslint', 'js'));
const globals = require(path.join(tools, 'globals'));

module.exports = [
  { ignores: ['**/node_modules/**', 'build/**', 'preprocess/js/**', 'app/**'] },
  js.configs.recommended,
  {
    files: ['**/*.js'],
    languageOptions: { ecmaVersion: 2022, sourceType: 'script' },
    rules: {
      'no-unused-vars': ['error', { args: 'none' }],
      eqeqeq: 'error',
      'prefer-const': 'error',
      'no-var': 'error',
    },
  },
  {
    // The extension: pages, its worker and the popup, in Chromium and Firefox.
    files: ['webext/**/*.js'],
    languageOptions: {
      globals: {
        ...globals.browser,
        ...globals.serviceworker,
        chrome: 'readonly',
        browser: 'readonly',
        module: 'readonly',
      },
    },
  },
  {
    // protocol.js defines these for the worker (imported, or listed first in Firefox).
    files: ['webext/background.js'],
    languageOptions: { globals: { ORLAVINE_HOST: 'readonly', ReplyAssembler: 'readonly' } },
  },
  {
    files: ['webext/protocol.js'],
    rules: { 'no-unused-vars': ['error', { varsIgnorePattern: '^ORLAVINE_HOST$' }] },
  },
  {
    files: ['tests/e2e/**/*.js', 'tests/sync/js/*.js', 'scripts/**/*.js', 'eslint.config.js'],
    languageOptions: { globals: { ...globals.node, chrome: 'readonly' } },
  },
];

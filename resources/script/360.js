// Download buttons for the signed-in pages of the cloud-disk site. Each chosen file's download
// address goes to the local aria2 over its JSON-RPC interface. Kelvora puts aria2's port and
// secret in before it runs this in the page; the site's own jQuery and page objects do the rest.
(function kelvoraCloudDownload() {
    'use strict';

    var rpcPort = __KELVORA_RPC_PORT__;
    var rpcSecret = __KELVORA_RPC_SECRET__;
    var rpcUrl = 'http://127.0.0.1:' + rpcPort + '/jsonrpc';
    var rpcTimeoutMs = 10000;
    // Folder expansion stops here, whatever the site answers.
    var maxDepth = 32;

    if (!window.jQuery || !window.yunpan)
        return;
    var $ = window.jQuery;
    var yunpan = window.yunpan;
    // Each counter lives as long as the page, so ids grow across injections too.
    window.kelvoraRpcId = window.kelvoraRpcId || 1;

    function showMessage(text) {
        yunpan.tips.show(String(text));
    }

    // An error is a text, or a result object carrying one (the site's errmsg, aria2's error).
    function showError(error) {
        var text = error;
        if (error && typeof error === 'object') {
            var inner = error.error && typeof error.error === 'object' ? error.error : error;
            text = inner.errmsg || inner.message || inner.error || inner.msg || '未知错误';
        }
        yunpan.tips.error(String(text));
    }

    var headers = [
        'User-Agent: ' + navigator.userAgent,
        'Referer: ' + location.origin + location.pathname,
        'Cookie: ' + document.cookie
    ];

    // The name aria2 saves under, below its download folder: the site's path without empty,
    // "." and ".." parts, so that no answer of the site can write outside that folder.
    function savedName(path) {
        var parts = String(path || '').replace(/\\/g, '/').split('/');
        var kept = [];
        for (var i = 0; i < parts.length; ++i) {
            var part = parts[i].replace(/[\u0000-\u001f]/g, '');
            if (part !== '' && part !== '.' && part !== '..')
                kept.push(part);
        }
        return kept.join('/');
    }

    function base64Utf8(text) {
        var bytes = new TextEncoder().encode(text);
        var binary = '';
        for (var i = 0; i < bytes.length; ++i)
            binary += String.fromCharCode(bytes[i]);
        return btoa(binary);
    }

    function sendToAria2(url, path) {
        var out = savedName(path);
        if (!out) {
            showError('文件名无效：' + path);
            return;
        }
        var params = ['token:' + rpcSecret, [url], { out: out, header: headers }];
        var query = 'method=aria2.addUri&id=' + (window.kelvoraRpcId++) +
            '&params=' + encodeURIComponent(base64Utf8(JSON.stringify(params))) +
            '&jsoncallback=?';
        $.ajax({ url: rpcUrl + '?' + query, dataType: 'jsonp', timeout: rpcTimeoutMs })
            .done(function (reply) {
                if (reply && reply.result)
                    showMessage('添加下载任务成功，请转到网页查看任务！');
                else
                    showError('添加下载任务失败：' + (reply && reply.error && reply.error.message
                        ? reply.error.message : out));
            })
            .fail(function () {
                showError('下载引擎不可用，未能添加：' + out);
            });
    }

    function addFile(file) {
        $.ajax({
            url: yunpan.config.url.f_down,
            type: 'POST',
            data: { nid: file.nid, fname: file.path, ajax: 1 },
            dataType: 'json'
        }).done(function (reply) {
            if (!reply || typeof reply !== 'object') {
                showError('解析失败：' + file.path);
            } else if (Number(reply.errno) !== 0) {
                showError(reply);
            } else if (!reply.data || !reply.data.download_url) {
                showError('解析失败：' + file.path);
            } else {
                sendToAria2(String(reply.data.download_url), file.path);
            }
        }).fail(function () {
            console.log('解析失败：' + file.path);
            showError('解析失败：' + file.path);
        });
    }

    function expandFolder(folder, depth, seen) {
        if (depth > maxDepth || seen[folder.path]) {
            showError('解析目录失败：' + folder.path);
            return;
        }
        seen[folder.path] = true;
        $.ajax({
            url: yunpan.config.url.getList,
            type: 'POST',
            data: { field: folder.title, path: folder.path },
            dataType: 'text'
        }).done(function (text) {
            var reply = null;
            try {
                reply = String(text).evalExp();
            } catch (e) {
                reply = null;
            }
            if (!reply || typeof reply !== 'object') {
                showError('解析目录失败：' + folder.path);
                return;
            }
            if (Number(reply.errno) !== 0) {
                showError(reply);
                return;
            }
            var entries = $.isArray(reply.data) ? reply.data : [];
            var found = 0;
            $.each(entries, function (i, entry) {
                if (!entry || !entry.oriName)
                    return;
                ++found;
                var isDir = Number(entry.isDir) === 1;
                var path = entry.path ||
                    (folder.path.replace(/\/?$/, '/') + entry.oriName + (isDir ? '/' : ''));
                addEntry({ type: isDir ? 'dir' : 'file', title: String(entry.oriName),
                           path: String(path), nid: String(entry.nid || '') },
                         depth + 1, seen);
            });
            if (!found)
                showMessage('文件夹中没有可下载的文件：' + folder.path);
        }).fail(function () {
            console.log('解析目录失败：' + folder.path);
            showError('解析目录失败：' + folder.path);
        });
    }

    function addEntry(entry, depth, seen) {
        if (entry.type === 'dir')
            expandFolder(entry, depth || 0, seen || {});
        else
            addFile(entry);
    }

    // Attributes are read as written: jQuery's data() would turn a name like "007" into 7.
    function entryOf(element) {
        var item = $(element);
        return {
            type: item.attr('data-type'),
            title: item.attr('data-title') || '',
            path: item.attr('data-path') || '',
            nid: item.attr('data-nid') || ''
        };
    }

    function downloadSelected() {
        showMessage('正在准备开始添加下载任务!');
        var selected = yunpan.fo.getSelectFile() || [];
        if (!selected.length) {
            showError('请选择需要下载的文件或目录！');
            return;
        }
        $.each(selected, function (i, element) { addEntry(entryOf(element)); });
    }

    function downloadAll() {
        showMessage('正在准备开始添加下载任务!');
        var all = $('#listHolder #list').children();
        if (!all.length) {
            showError('这个文件夹是空的');
            return;
        }
        all.each(function () { addEntry(entryOf(this)); });
    }

    function closeMenus() {
        var menus = yunpan.menuManager || {};
        if (typeof menus.hideAll === 'function')
            menus.hideAll();
        else if (typeof menus.closeAll === 'function')
            menus.closeAll();
    }

    var icon = '<svg width="14" height="14" viewBox="0 0 14 14" style="vertical-align:-2px;' +
        'margin-right:4px"><path d="M7 1v8M3.5 5.5 7 9l3.5-3.5M2 12h10" fill="none" ' +
        'stroke="red" stroke-width="1.6"/></svg>';

    // A page can be reported loaded more than once: the controls go in once.
    if (!$('#qm_dl_all').length) {
        var downloadAllButton = $('<a id="qm_dl_all" class="y-btn y-btn-gray setting show" ' +
            'href="javascript:void(0)">' + icon +
            '<span class="label" style="color:red">Vantor下载全部</span></a>');
        var downloadButton = $('<a id="qm_dl" class="y-btn y-btn-gray qm-dl show" ' +
            'href="javascript:void(0)"><span class="label" style="color:red">Vantor下载</span></a>');
        var menuItem = $('<li id="qm_menu_dl"><span style="color:red">Vantor下载</span></li>');
        $('#tbNew').after(downloadAllButton);
        downloadAllButton.after(downloadButton);
        $('#x-yp-3 ul').prepend(menuItem);
        downloadAllButton.on('click', function (e) { e.preventDefault(); downloadAll(); });
        downloadButton.on('click', function (e) { e.preventDefault(); downloadSelected(); });
        menuItem.on('click', function (e) {
            e.preventDefault();
            closeMenus();
            downloadSelected();
        });
    }
    $('#topPanel ul, #topPanel div').remove();
})();
